#include "run/check_sections.h"

#include <map>

#include "core/messages.h"
#include "run/check_items.h"
#include "run/check_keys.h"
#include "run/check_traps.h"
#include "run/check_values.h"
#include "script/expand.h"
#include "script/script_layout.h"

namespace {

struct TSectionLayout {
    unsigned Name;
    char Mode;  // 'O' options, 'C' constants, 'I', 'U', 'D' action sections
};

constexpr TSectionLayout SectionLayouts[] = {
    {WordOptions, 'O'}, {WordConstants, 'C'}, {WordInsert, 'I'}, {WordUpdate, 'U'}, {WordDelete, 'D'},
};

// "LogFile, LogSize, Check, Rollback and StartAfterFailure": the options a settings file gives.
std::string SettingsOptionNames()
{
    std::vector<std::string> names;
    for (const TOptionKey& key : OptionKeys)
        if (key.ReadIn & InSettingsOptions) names.push_back(Msg(key.Word));
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? Msg(MsgListLastJoint) : ", ") + names[i];
    return text;
}

void CheckOptions(TCheck& check, const TFileView& view, const TScriptSection& section, TRole role)
{
    std::map<int, TSlot> includes;
    const TScriptLine* run = nullptr;
    const TScriptLine* runFlags = nullptr;
    for (const TScriptLine* line : ReadKeys(check, view, section)) {
        if (!line->HasEquals) continue;
        TKeyMatch match;
        if (!MatchKey(line->Name, true, match)) {
            Add(check, view, line->Line, TSeverity::Warning, TFindingCode::UnreadKey,
                WithSuggestion(FillMsg(MsgCheckUnknownKey, {line->Name}), NearestKey(line->Name, true)));
            continue;
        }
        const TKeyLayout& layout = *match.Layout;
        if (role == TRole::Include && (layout.ReadIn & InIncludedOptions) == 0) {
            Add(check, view, line->Line, TSeverity::Warning, TFindingCode::UnreadKey, FillMsg(MsgCheckIncludedOption, {line->Name}));
            continue;
        }
        if (role == TRole::Settings && (layout.ReadIn & InSettingsOptions) == 0) {
            Add(check, view, line->Line, TSeverity::Warning, TFindingCode::UnreadKey,
                FillMsg(MsgCheckSettingsOption, {line->Name, SettingsOptionNames()}));
            continue;
        }
        CheckValue(check, view, *line, layout.Expanded, false);
        if (layout.Prefix == WordCheck) CheckCheckOption(check, view, *line);
        if (layout.Prefix == WordSourcePath) CheckSourcePath(check, view, *line);
        if (layout.Prefix == WordInclude) {
            TSlot& slot = includes[match.Item];
            Note(slot, *line);
            slot.Present = !line->Read.empty();
            slot.EndKey = line->Name;
            slot.EndKeyEmpty = true;
        } else if (layout.Prefix == WordSectionOrder) {
            std::string letters;
            for (const TSectionKind& kind : SectionKinds) letters += kind.Letter;
            CheckLetters(check, view, *line, letters, TFindingCode::SectionLetter, MsgCheckSectionLetter, WordSectionOrder);
        } else if (layout.Prefix == WordRun) {
            (layout.Suffix == 0 ? run : runFlags) = line;
        }
    }
    CheckGaps(check, view, includes, TFindingCode::ItemGap, [](int n) { return ItemKeyName(WordInclude, n); });
    if (role == TRole::Script && run && !run->Read.empty()) {
        CheckRunProgram(check, view, *run);
        std::string flags = runFlags ? ExpandConstants(runFlags->Read, ExpandPlain) : std::string();
        if (flags.find(Msg(WordWine)) == std::string::npos)
            Add(check, view, run->Line, TSeverity::Note, TFindingCode::RunWithoutWine,
                FillMsg(MsgCheckRunWithoutWine, {Msg(WordRun), Msg(WordRun) + Msg(WordFlags), Msg(WordWine)}));
    }
}

// The section's mode by its name: "Update" and "Update.<computer>" are both
// Update sections; 0 for a section the run never reads.
char SectionMode(const std::string& name)
{
    size_t dot = name.find('.');
    std::string head = name.substr(0, dot);
    for (const TSectionLayout& layout : SectionLayouts) {
        if (!SameName(head, Msg(layout.Name))) continue;
        if (dot == std::string::npos) return layout.Mode;
        bool action = layout.Mode == 'I' || layout.Mode == 'U' || layout.Mode == 'D';
        return action && dot + 1 < name.size() ? layout.Mode : 0;
    }
    return 0;
}

std::string NearestSection(const std::string& name, TRole role)
{
    std::vector<std::string> known;
    for (const TSectionLayout& layout : SectionLayouts)
        if (role != TRole::Settings || layout.Mode == 'C') known.push_back(Msg(layout.Name));
    size_t dot = name.find('.');
    std::string head = Nearest(name.substr(0, dot), known);
    if (head.empty() || dot == std::string::npos) return head;
    return head + name.substr(dot);
}

}  // namespace

void CheckContents(TCheck& check, const TFileView& view, TRole role)
{
    std::map<std::string, int> seen;
    for (const TScriptSection& section : view.Sections) {
        if (section.Line == 0) {
            for (const TScriptLine& line : section.Lines)
                if (line.Name.empty() || line.Name[0] != ';')
                    Add(check, view, line.Line, TSeverity::Warning, TFindingCode::UnreadSection, FillMsg(MsgCheckAboveSections, {line.Name}));
            continue;
        }
        auto [first, fresh] = seen.emplace(FoldedScriptName(section.Name), section.Line);
        if (!fresh) {
            Add(check, view, section.Line, TSeverity::Warning, TFindingCode::SectionTwice,
                FillMsg(MsgCheckSectionAgain, {section.Name, std::to_string(first->second)}));
            continue;
        }
        char mode = SectionMode(section.Name);
        if (role == TRole::Settings && mode != 'C' && mode != 'O') {
            Add(check, view, section.Line, TSeverity::Warning, TFindingCode::UnreadSection,
                WithSuggestion(FillMsg(MsgCheckSettingsSection, {section.Name, Msg(WordConstants), Msg(WordOptions)}),
                               mode == 0 ? NearestSection(section.Name, role) : std::string()));
            continue;
        }
        switch (mode) {
        case 'O':
            CheckOptions(check, view, section, role);
            break;
        case 'C':
            CheckConstants(check, view, section);
            break;
        case 'I':
        case 'U':
        case 'D':
            CheckActions(check, view, section, mode);
            break;
        default:
            Add(check, view, section.Line, TSeverity::Warning, TFindingCode::UnreadSection,
                WithSuggestion(FillMsg(MsgCheckUnknownSection, {section.Name}), NearestSection(section.Name, role)));
            break;
        }
    }
}

