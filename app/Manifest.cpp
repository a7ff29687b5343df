#include "app/Manifest.h"

#include "app/InputError.h"
#include "host/TavFileSaver.h"
#include "host/Version.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace vex::app {

namespace {

constexpr const char* kManifestName = "run.json";

std::string Hex(const unsigned char* bytes, unsigned int count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

} // namespace

RunManifest::RunManifest(std::string folder, std::vector<std::string> commandLine, std::string inputKind,
                         std::string inputPath)
    : folder_(std::move(folder)), commandLine_(std::move(commandLine)), inputKind_(std::move(inputKind)),
      inputPath_(std::move(inputPath))
{
}

std::string RunManifest::FileSha256(const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return "";
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        if (EVP_DigestUpdate(context.get(), buffer, n) != 1)
            return "";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (std::ferror(file.get()) || EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return "";
    return Hex(digest, length);
}

void RunManifest::AddOutput(const std::string& path) { outputs_.push_back(path); }

std::string RunManifest::Text(bool completed, int status, const std::string& stop, bool started) const
{
    nlohmann::ordered_json json;
    json["completed"] = completed;
    json["state"] = started ? "running" : completed ? "done" : status > 128 ? "stopped" : "failed";
    json["status"] = started ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(status);
    json["stopped_by"] = stop.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(stop);
    json["version"] = VersionLine();
    json["command"] = commandLine_;
    if (!inputKind_.empty())
        json[inputKind_] = {{"file", inputPath_}, {"sha256", FileSha256(inputPath_)}};
    json["outputs"] = nlohmann::ordered_json::array();
    for (const std::string& path : outputs_) {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(path, error);
        json["outputs"].push_back({{"file", std::filesystem::path(path).filename().string()},
                                   {"bytes", error ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(bytes)},
                                   {"sha256", FileSha256(path)}});
    }
    return json.dump(2) + "\n";
}

void RunManifest::Begin()
{
    const std::string path = (std::filesystem::path(folder_) / kManifestName).string();
    const std::string text = Text(false, 0, "", true);
    std::string error;
    if (!TavFileSaver::WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()), &error))
        throw RunError("cannot write " + path + ": " + error);
}

bool RunManifest::Finish(bool completed, int status, const std::string& stop)
{
    try {
        const std::string path = (std::filesystem::path(folder_) / kManifestName).string();
        const std::string text = Text(completed, status, stop, false);
        std::string error;
        return TavFileSaver::WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()), &error);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace vex::app
