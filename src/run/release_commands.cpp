#include "run/release_commands.h"

#include <windows.h>

#include <cstdio>

#include "machine/file_version.h"
#include "core/console.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/report.h"
#include "release/publish.h"
#include "release/release_key.h"

namespace {

// A path as typed on the command line, made full from the current directory.
std::string FullPath(const std::string& path)
{
    char buffer[MAX_PATH + 1];
    char* name = nullptr;
    DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &name);
    // Too long or not a path at all: the operation on it reports why.
    if (length == 0 || length >= sizeof buffer) return path;
    return std::string(buffer, length);
}

// "ERROR: " and the message in white, as a failed step shows it, without the
// key wait: an administrator's command runs from a prompt or a batch file.
void WriteFailure(const std::string& message)
{
    uint8_t saved = TextAttribute();
    SetForeground(ColorWhite);
    WriteLine(Msg(MsgErrorPrefix) + message);
    SetForeground(saved & 0x0F);
}

std::string Seconds(DWORD milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lu.%lu", static_cast<unsigned long>(milliseconds / 1000),
                  static_cast<unsigned long>(milliseconds % 1000 / 100));
    return text;
}

}  // namespace

int PublishCommand(const std::string& directory, const std::string& keyFile)
{
    DWORD started = GetTickCount();
    std::string path = FullPath(directory);
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    WriteLine(FormatMsg(MsgPublishing, path));
    TEcKeyPair key;
    std::string problem;
    if (!keyFile.empty() && !ReadPrivateKeyFile(FullPath(keyFile), key, problem)) {
        WriteFailure(problem);
        return ExitFailed;
    }
    TPublishRequest request;
    request.Directory = path;
    request.Key = keyFile.empty() ? nullptr : &key;
    request.SystemVersion = GetFileVersionText;
    TPublishResult result = PublishRelease(request);
    SecureZeroMemory(key.Private.data(), key.Private.size());
    if (!result.Ok) {
        WriteFailure(result.Problem);
        return ExitFailed;
    }
    WriteLine(FillMsg(MsgPublished, {std::to_string(result.Number), std::to_string(result.Files),
                                     std::to_string(result.Bytes), Seconds(GetTickCount() - started)}));
    if (result.LeftOut > 0) WriteLine(FormatMsg(MsgPublishLeftOut, std::to_string(result.LeftOut)));
    if (request.Key) {
        WriteLine(FormatMsg(MsgPublishedSigned, KeyId(key.Public)));
    } else {
        WriteLine(Msg(MsgPublishedUnsigned));
        if (result.ReplacedSigned) WriteLine(Msg(MsgPublishWasSigned));
    }
    return ExitGood;
}

int NewKeyCommand(const std::string& file)
{
    std::string path = FullPath(file);
    TEcKeyPair pair;
    std::string problem;
    bool written = WriteNewKeyFiles(path, pair, problem);
    SecureZeroMemory(pair.Private.data(), pair.Private.size());
    if (!written) {
        WriteFailure(problem);
        return ExitFailed;
    }
    WriteLine(FormatMsg(MsgKeyMade, KeyId(pair.Public)));
    WriteLine(FormatMsg(MsgKeyPrivateFile, path));
    WriteLine(FormatMsg(MsgKeyPublicFile, path + ".pub"));
    return ExitGood;
}
