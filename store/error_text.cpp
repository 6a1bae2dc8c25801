#include "store/error_text.h"

#include <curl/curl.h>
#include <sqlite3.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <cstring>

namespace k3 {

bool diskFullError(int err) {
#ifdef EDQUOT  // where there are disk quotas
    if (err == EDQUOT) return true;
#endif
    return err == ENOSPC || err == EFBIG;
}

std::string systemErrorText(int err) {
    switch (err) {
        case 0: return "未知原因";
#ifdef EDQUOT
        case EDQUOT:
#endif
        case ENOSPC: return "磁盘已满";
        case EFBIG: return "文件超过了允许的大小，磁盘已满或达到限额";
        case EACCES:
        case EPERM: return "没有权限";
        case EROFS: return "磁盘是只读的";
        case ENOENT: return "文件或文件夹不存在";
        case ENOTDIR: return "路径中有一项不是文件夹";
        case EISDIR: return "是文件夹";
        case EEXIST: return "文件已存在";
        case ENAMETOOLONG: return "文件名太长";
        case ELOOP: return "符号链接层数太多";
        case EIO: return "读写磁盘出错";
        case EMFILE:
        case ENFILE: return "打开的文件太多";
        case ENOMEM: return "内存不足";
        case EXDEV: return "不能跨磁盘改名";
        case EBUSY: return "文件正被占用";
        case ETXTBSY: return "文件正被运行";
        case EAGAIN: return "暂时无法完成，请稍后再试";
        case EINTR: return "被中断";
        case ENXIO: return "设备不存在或没有读者";
        default: return std::string("系统错误 ") + std::to_string(err);
    }
}

std::string sqliteErrorText(int rc, int systemErrno) {
    switch (rc & 0xff) {
        case SQLITE_OK: return "没有出错";
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return "数据库正被另一个程序改动";
        case SQLITE_READONLY: return "数据库是只读的";
        case SQLITE_FULL: return "磁盘已满";
        case SQLITE_CORRUPT: return "数据库已损坏";
        case SQLITE_NOTADB: return "不是数据库文件";
        case SQLITE_CANTOPEN:
            return systemErrno ? "无法打开数据库文件：" + systemErrorText(systemErrno) : "无法打开数据库文件";
        case SQLITE_IOERR:
            return systemErrno ? "读写数据库文件出错：" + systemErrorText(systemErrno) : "读写数据库文件出错";
        case SQLITE_NOMEM: return "内存不足";
        case SQLITE_PERM:
        case SQLITE_AUTH: return "没有权限";
        case SQLITE_INTERRUPT: return "被中断";
        case SQLITE_TOOBIG: return "数据太大";
        case SQLITE_CONSTRAINT: return "违反了数据库的约束";
        case SQLITE_SCHEMA: return "数据库的结构在读取时变了";
        case SQLITE_NOLFS: return "系统不支持大文件";
        case SQLITE_PROTOCOL: return "数据库的锁出错";
        default: return "数据库出错，代码 " + std::to_string(rc);
    }
}

std::string curlErrorText(int code) {
    switch (static_cast<CURLcode>(code)) {
        case CURLE_OK: return "没有出错";
        case CURLE_UNSUPPORTED_PROTOCOL: return "不支持这个地址的协议";
        case CURLE_URL_MALFORMAT: return "地址的格式不对";
        case CURLE_COULDNT_RESOLVE_PROXY: return "找不到代理服务器";
        case CURLE_COULDNT_RESOLVE_HOST: return "找不到服务器，主机名无法解析，请检查地址和网络";
        case CURLE_COULDNT_CONNECT: return "无法连接服务器，连接被拒绝或无法到达";
        case CURLE_OPERATION_TIMEDOUT: return "连接服务器超时";
        case CURLE_TOO_MANY_REDIRECTS: return "网页转向次数太多";
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE: return "无法建立安全连接，证书或加密出错";
        case CURLE_GOT_NOTHING: return "服务器没有返回任何内容";
        case CURLE_SEND_ERROR: return "向服务器发送数据失败";
        case CURLE_RECV_ERROR: return "从服务器接收数据失败";
        case CURLE_PARTIAL_FILE: return "网页没有读完整";
        case CURLE_FILE_COULDNT_READ_FILE: return "无法读取本地文件，文件不存在或没有权限";
        case CURLE_READ_ERROR: return "读取出错";
        case CURLE_WRITE_ERROR: return "网页超过了允许的大小或无法保存";
        case CURLE_FILESIZE_EXCEEDED: return "网页超过了允许的大小";
        case CURLE_OUT_OF_MEMORY: return "内存不足";
        case CURLE_ABORTED_BY_CALLBACK: return "已取消";
        case CURLE_LOGIN_DENIED: return "服务器拒绝登录";
        case CURLE_REMOTE_ACCESS_DENIED: return "服务器拒绝访问";
        case CURLE_HTTP_RETURNED_ERROR: return "服务器返回了错误";
        default: return "网络出错，代码 " + std::to_string(code);
    }
}

std::string workbookErrorText(int error) {
    switch (static_cast<lxw_error>(error)) {
        case LXW_NO_ERROR: return "没有出错";
        case LXW_ERROR_MEMORY_MALLOC_FAILED: return "内存不足";
        case LXW_ERROR_CREATING_XLSX_FILE: return "无法创建文件，没有权限、文件夹不存在或磁盘已满";
        case LXW_ERROR_CREATING_TMPFILE: return "无法创建临时文件，临时文件夹不能写入或磁盘已满";
        case LXW_ERROR_READING_TMPFILE: return "无法读取临时文件";
        case LXW_ERROR_ZIP_FILE_OPERATION:
        case LXW_ERROR_ZIP_FILE_ADD:
        case LXW_ERROR_ZIP_CLOSE: return "写入工作簿出错，磁盘已满或无法写入";
        case LXW_ERROR_ZIP_PARAMETER_ERROR:
        case LXW_ERROR_ZIP_BAD_ZIP_FILE:
        case LXW_ERROR_ZIP_INTERNAL_ERROR: return "工作簿压缩出错";
        case LXW_ERROR_NULL_PARAMETER_IGNORED:
        case LXW_ERROR_PARAMETER_VALIDATION: return "写入的内容不合规定";
        case LXW_ERROR_SHEETNAME_LENGTH_EXCEEDED:
        case LXW_ERROR_INVALID_SHEETNAME_CHARACTER:
        case LXW_ERROR_SHEETNAME_START_END_APOSTROPHE:
        case LXW_ERROR_SHEETNAME_ALREADY_USED: return "工作表的名称不合规定";
        case LXW_ERROR_32_STRING_LENGTH_EXCEEDED:
        case LXW_ERROR_128_STRING_LENGTH_EXCEEDED:
        case LXW_ERROR_255_STRING_LENGTH_EXCEEDED:
        case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED: return "单元格的文字太长";
        case LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE:
        case LXW_ERROR_WORKSHEET_MAX_NUMBER_URLS_EXCEEDED: return "超出了工作表的上限";
        default: return "工作簿出错，代码 " + std::to_string(error);
    }
}

std::string withDetail(const std::string& text, const std::string& detail) {
    if (detail.empty() || detail == text) return text;
    return text + "（" + detail + "）";
}

}  // namespace k3
