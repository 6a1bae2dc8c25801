// The causes of failures that libraries and the system report, said in Chinese in one place. Each
// function returns a short clause ("磁盘已满", "找不到服务器 …") that a message puts in its sentence;
// the library's own English text goes only into the parentheses of withDetail.
#pragma once
#include <string>

namespace k3 {

// The cause behind a system error number (errno), e.g. ENOSPC → "磁盘已满".
std::string systemErrorText(int err);
// True when the error number means that the disk (or the user's quota, or the file size limit) has no
// room left.
bool diskFullError(int err);

// The cause behind an SQLite result code (extended codes allowed) and the system error behind it.
std::string sqliteErrorText(int rc, int systemErrno = 0);

// The cause behind a libcurl result code (CURLcode).
std::string curlErrorText(int code);

// The cause behind a libxlsxwriter error (lxw_error).
std::string workbookErrorText(int error);

// "TEXT（DETAIL）", or TEXT alone when the detail is empty or says nothing TEXT does not.
std::string withDetail(const std::string& text, const std::string& detail);

}  // namespace k3
