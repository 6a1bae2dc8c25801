#include "export/output_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "export/target.h"

namespace k3 {

namespace fs = std::filesystem;

void writeOutputFile(const std::string& path, const std::string& dataDir,
                     const std::function<void(const std::string& sidePath)>& write) {
    const std::string target = exportTarget(path, dataDir);
    const std::string side = exportSideFile(target);
    auto discard = [&] {
        std::error_code ec;
        fs::remove(side, ec);
    };
    try {
        write(side);
    } catch (const ExportError&) {
        discard();
        throw;
    } catch (const std::exception& e) {
        discard();
        throw ExportError("无法写入文件 " + path + "（" + e.what() + "），未写入");
    }
    std::error_code ec;
    fs::rename(side, target, ec);
    if (ec) {
        const std::string why = ec.message();
        discard();
        throw ExportError("无法写入文件 " + path + "（" + why + "），未写入");
    }
}

void writeOutputBytes(const std::string& path, const std::string& dataDir, std::string_view bytes) {
    writeOutputFile(path, dataDir, [&](const std::string& side) {
        std::ofstream f(side, std::ios::binary | std::ios::trunc);
        if (!f) throw ExportError("无法创建文件 " + path + "，未写入");
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        f.close();
        if (!f) throw ExportError("无法写入文件 " + path + "，未写入");
    });
}

}  // namespace k3
