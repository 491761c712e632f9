#include "release/release_key.h"

#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"

namespace {

constexpr const char* PrivateHeader = "Vantorel release key 1: PRIVATE";
constexpr const char* PublicHeader = "Vantorel release key 1: public";
// A key file is a few hundred bytes; anything much larger is not one.
constexpr DWORD MaxKeyFileBytes = 4096;

struct TKeyFile {
    bool Private = false;
    TEcKeyPair Pair;
};

std::string PrivateText(const TEcKeyPair& pair)
{
    return std::string(PrivateHeader) + "\r\n; Key " + KeyId(pair.Public) +
           ". Keep this file with the administrator and never put it on the share: whoever holds it can sign\r\n"
           "; releases that every workstation takes. Sign with: vantorel.exe --publish <directory> --key <this file>\r\n"
           "public " + HexText(pair.Public) + "\r\nprivate " + HexText(pair.Private) + "\r\n";
}

std::string PublicText(const TEcPublicKey& key)
{
    return std::string(PublicHeader) + "\r\n; Key " + KeyId(key) +
           ". Copy this file as vantorel.pub into the program directory of every workstation: runs there\r\n"
           "; then take only releases signed with its private key.\r\n"
           "public " + HexText(key) + "\r\n";
}

std::string KeyProblem(const std::string& path, const std::string& reason)
{
    return FormatMsg(MsgKeyFileProblem, path, reason);
}

// Writes a new file; ERROR_FILE_EXISTS when it is there already.
DWORD WriteNewFile(const std::string& path, const std::string& text)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return GetLastError();
    if (written != text.size()) return ERROR_DISK_FULL;
    if (!FlushFileBuffers(file.Get())) return GetLastError();
    return CloseHandle(file.Release()) ? ERROR_SUCCESS : GetLastError();
}

bool ReadKeyFile(const std::string& path, TKeyFile& key, std::string& problem)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        problem = KeyProblem(path, FormatMsg(MsgKeyUnreadable, SystemMessageOrCode(static_cast<int32_t>(error))));
        return false;
    }
    std::string text(MaxKeyFileBytes + 1, '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        DWORD error = GetLastError();
        problem = KeyProblem(path, FormatMsg(MsgKeyUnreadable, SystemMessageOrCode(static_cast<int32_t>(error))));
        return false;
    }
    text.resize(read);
    bool havePublic = false;
    bool havePrivate = false;
    bool privateHeader = false;
    bool valid = read <= MaxKeyFileBytes;
    size_t start = 0;
    for (size_t number = 1; valid && start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1) {
            privateHeader = line == PrivateHeader;
            valid = privateHeader || line == PublicHeader;
        } else if (line.rfind("public ", 0) == 0 && !havePublic) {
            valid = havePublic = ParseHex(line.substr(7), key.Pair.Public);
        } else if (line.rfind("private ", 0) == 0 && !havePrivate) {
            valid = havePrivate = ParseHex(line.substr(8), key.Pair.Private);
        } else {
            valid = line.empty() || line[0] == ';';
        }
    }
    SecureZeroMemory(text.data(), text.size());
    // A private key under a public header is still a private key.
    key.Private = havePrivate;
    if (!valid || !havePublic || (privateHeader && !havePrivate)) {
        problem = KeyProblem(path, Msg(MsgKeyNotAKeyFile));
        return false;
    }
    return true;
}

}  // namespace

std::string KeyId(const TEcPublicKey& key)
{
    return HexText(key.data(), 8);
}

bool WriteNewKeyFiles(const std::string& path, TEcKeyPair& pair, std::string& problem)
{
    std::string publicPath = path + ".pub";
    for (const std::string& file : {path, publicPath}) {
        if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
            problem = FormatMsg(MsgKeyExists, file);
            return false;
        }
    }
    if (!MakeEcKeyPair(pair, problem)) return false;
    std::string privateText = PrivateText(pair);
    DWORD error = WriteNewFile(path, privateText);
    SecureZeroMemory(privateText.data(), privateText.size());
    if (error == ERROR_SUCCESS) {
        error = WriteNewFile(publicPath, PublicText(pair.Public));
        if (error != ERROR_SUCCESS) {
            // A private key without its public half is of no use: take it away again.
            DeleteFileA(path.c_str());  // what cannot be removed stays; the message names the file that failed
            if (error == ERROR_FILE_EXISTS) {
                problem = FormatMsg(MsgKeyExists, publicPath);
                return false;
            }
            problem = FormatMsg(MsgKeyCantWrite, publicPath, SystemMessageOrCode(static_cast<int32_t>(error)));
            return false;
        }
        return true;
    }
    if (error == ERROR_FILE_EXISTS)
        problem = FormatMsg(MsgKeyExists, path);
    else
        problem = FormatMsg(MsgKeyCantWrite, path, SystemMessageOrCode(static_cast<int32_t>(error)));
    return false;
}

bool ReadPrivateKeyFile(const std::string& path, TEcKeyPair& pair, std::string& problem)
{
    TKeyFile key;
    if (!ReadKeyFile(path, key, problem)) return false;
    if (!key.Private) {
        problem = KeyProblem(path, Msg(MsgKeyNoPrivate));
        return false;
    }
    pair = key.Pair;
    SecureZeroMemory(key.Pair.Private.data(), key.Pair.Private.size());
    return true;
}

bool ReadPublicKeyFile(const std::string& path, TEcPublicKey& key, std::string& problem)
{
    TKeyFile file;
    if (!ReadKeyFile(path, file, problem)) return false;
    SecureZeroMemory(file.Pair.Private.data(), file.Pair.Private.size());
    if (file.Private) {
        problem = KeyProblem(path, Msg(MsgKeyHoldsPrivate));
        return false;
    }
    key = file.Pair.Public;
    return true;
}
