// The Chinese causes of library and system errors: every code a user may meet is said in Chinese,
// with the library's text only in parentheses.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <xlsxwriter.h>

#include <cerrno>

#include "store/error_text.h"

using namespace k3;

namespace {

// True when the text holds no ASCII letter: nothing of a library's English reaches the user.
bool noEnglish(const std::string& s) {
    for (char c : s)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return false;
    return !s.empty();
}

}  // namespace

TEST(ErrorText, NamedCausesInChinese) {
    const std::pair<std::string, const char*> named[] = {
        {systemErrorText(ENOSPC), "磁盘已满"},
        {systemErrorText(EDQUOT), "磁盘已满"},
        {systemErrorText(EACCES), "没有权限"},
        {systemErrorText(EROFS), "只读"},
        {sqliteErrorText(SQLITE_FULL), "磁盘已满"},
        {sqliteErrorText(SQLITE_NOTADB), "不是数据库"},
        {sqliteErrorText(SQLITE_CANTOPEN, EACCES), "没有权限"},
        {sqliteErrorText(SQLITE_IOERR_WRITE, ENOSPC), "磁盘已满"},
        {sqliteErrorText(SQLITE_BUSY_SNAPSHOT), "另一个程序"},
        {curlErrorText(CURLE_COULDNT_RESOLVE_HOST), "找不到服务器"},
        {curlErrorText(CURLE_COULDNT_CONNECT), "无法连接"},
        {curlErrorText(CURLE_OPERATION_TIMEDOUT), "超时"},
        {curlErrorText(CURLE_TOO_MANY_REDIRECTS), "转向次数太多"},
        {curlErrorText(CURLE_UNSUPPORTED_PROTOCOL), "协议"},
        {workbookErrorText(LXW_ERROR_CREATING_XLSX_FILE), "无法创建文件"},
        {workbookErrorText(LXW_ERROR_ZIP_FILE_OPERATION), "磁盘已满"},
    };
    for (const auto& [text, cause] : named) EXPECT_NE(text.find(cause), std::string::npos) << text;
    EXPECT_TRUE(diskFullError(ENOSPC) && diskFullError(EDQUOT) && diskFullError(EFBIG));
    EXPECT_FALSE(diskFullError(EACCES) || diskFullError(0));
    EXPECT_EQ(withDetail("磁盘已满", "No space left on device"), "磁盘已满（No space left on device）");
    EXPECT_EQ(withDetail("磁盘已满", ""), "磁盘已满");
}

// Every code of each library, also one no mapping names, gives a Chinese sentence without English.
TEST(ErrorText, EveryCodeIsChinese) {
    for (int e = 0; e < 140; ++e) EXPECT_TRUE(noEnglish(systemErrorText(e))) << e;
    for (int rc = 0; rc < 0x10000; rc += rc < 256 ? 1 : 251) EXPECT_TRUE(noEnglish(sqliteErrorText(rc, rc % 40))) << rc;
    for (int c = 0; c < CURL_LAST + 5; ++c) EXPECT_TRUE(noEnglish(curlErrorText(c))) << c;
    for (int w = 0; w < LXW_MAX_ERRNO + 5; ++w) EXPECT_TRUE(noEnglish(workbookErrorText(w))) << w;
}
