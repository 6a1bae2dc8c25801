// The data folder's rule is shared with k3gap-cli: settings/data_folder.h.
#pragma once
#include "settings/data_folder.h"
