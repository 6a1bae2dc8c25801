// The one error rule of the core: every failure is a k3::Error whose message is fit for the status
// bar, and every command that ran but has something to say carries a Note.
#pragma once
#include <stdexcept>
#include <string>

namespace k3 {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a command that ran tells the user: one line for the status bar; `warning` when not all of
// the work could be done as asked (the result then shows what could).
struct Note {
    std::string text;
    bool warning = false;
};

}  // namespace k3
