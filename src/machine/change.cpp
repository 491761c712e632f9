#include "machine/change.h"

#include "core/errors.h"

TFailure FailureOf(int32_t code)
{
    TFailure failure;
    failure.Failed = true;
    failure.Code = code;
    return failure;
}

TFailure FailureOf(const std::string& message)
{
    TFailure failure;
    failure.Failed = true;
    failure.Message = message;
    return failure;
}

std::string FailureText(const TFailure& failure)
{
    return failure.Message.empty() ? SystemMessageOrCode(failure.Code) : failure.Message;
}

const char* ChangeKindName(TChangeKind kind)
{
    switch (kind) {
    case TChangeKind::File: return "file";
    case TChangeKind::Directory: return "directory";
    case TChangeKind::RegistryKey: return "registry_key";
    case TChangeKind::RegistryValue: return "registry_value";
    case TChangeKind::IniValue: return "ini_value";
    case TChangeKind::TextLine: return "text_line";
    case TChangeKind::Alias: return "alias";
    case TChangeKind::Server: return "server";
    case TChangeKind::Restart: return "restart";
    }
    return "";
}

const char* ChangeActionName(TChangeAction action)
{
    switch (action) {
    case TChangeAction::Create: return "create";
    case TChangeAction::Replace: return "replace";
    case TChangeAction::Delete: return "delete";
    case TChangeAction::Rename: return "rename";
    case TChangeAction::Append: return "append";
    case TChangeAction::Register: return "register";
    case TChangeAction::Unregister: return "unregister";
    case TChangeAction::ScheduleAtRestart: return "schedule_at_restart";
    case TChangeAction::Restart: return "restart";
    }
    return "";
}

std::string RegistryTypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return std::to_string(type);
    }
}
