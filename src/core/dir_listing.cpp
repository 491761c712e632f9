#include "core/dir_listing.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>

#include "core/ansi_text.h"
#include "core/folded_index.h"
#include "core/handles.h"
#include "core/paths.h"
#include "core/run_state.h"

// One directory as the run knows it.
struct TListedDirectory {
    bool Listed = false;
    bool Unanswerable = false;       // the system answers every look-up (see ListDirectory)
    unsigned SystemLookUps = 0;      // look-ups the system answered while it was not listed
    std::vector<TDirEntry> Entries;  // in the system's order
    TFoldedNames Folded;       // Entries' names, folded
    TFoldedNames FoldedShort;  // Entries' 8.3 aliases, folded (empty when none)
    TFoldedIndex Index;        // Folded and FoldedShort
    std::set<std::wstring, std::less<>> Changed;  // folded names the run changed since the listing
};

// Hashes a text however it is held, so that a directory part is looked up without a copy.
struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

struct TDirListings {
    std::unordered_map<std::string, TListedDirectory> Directories;  // by the directory's full path, upper case
    // A fully qualified directory part as asked -> its key.
    std::unordered_map<std::string, std::string, TTextHash, std::equal_to<>> Keys;
    std::wstring Folding;  // the name a look-up asks for, folded (its room kept between look-ups)
};

namespace {

// Look-ups a target directory answers through the system before it is
// listed: a directory asked about once or twice (one file of a large system
// directory) is cheaper to ask than to list.
constexpr unsigned LookUpsBeforeListing = 8;

// Counted for the process: a script image outlives a test's run state.
uint64_t g_notedChanges = 0;

TDirListings& Listings()
{
    if (!Run.Listings) Run.Listings = std::make_shared<TDirListings>();
    return *Run.Listings;
}

// The key of a directory part ("C:\app\"): its full form in upper case, so
// that "C:\App\" and "c:\app\.\" share one listing. Empty when the part names
// no directory this module answers for (drive-relative "C:", too long).
std::string DirectoryKey(const std::string& directory)
{
    if (directory.empty() || (directory.back() != '\\' && directory.back() != '/')) return {};
    // A run asks about the same few directories thousands of times. A fully
    // qualified one keeps its key whatever the current directory is.
    bool qualified = (directory.size() >= 3 && directory[1] == ':' && (directory[2] == '\\' || directory[2] == '/')) ||
                     (directory.size() >= 2 && (directory[0] == '\\' || directory[0] == '/') &&
                      (directory[1] == '\\' || directory[1] == '/'));
    auto& keys = Listings().Keys;
    if (qualified) {
        auto known = keys.find(directory);
        if (known != keys.end()) return known->second;
    }
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(directory.c_str(), MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) return {};  // such a path goes to the system as it is
    std::string key = UpperAnsi(std::string(buffer, length));
    if (qualified) keys.emplace(directory, key);
    return key;
}

// DirectoryKey without a copy of a key the run knows already; `scratch`
// holds any other.
const std::string& DirectoryKeyOf(std::string_view directory, std::string& scratch)
{
    auto& keys = Listings().Keys;
    auto known = keys.find(directory);
    if (known != keys.end()) return known->second;
    scratch = DirectoryKey(std::string(directory));
    return scratch;
}

// The name part as the system takes it: trailing blanks and dots go. Empty
// when the listing cannot answer for it the way the system would: "." and
// "..", characters that are not plain name characters, or the system's DOS
// wildcards (which Windows gives meanings of their own).
std::string NormalizedName(const std::string& name)
{
    std::string result = name;
    while (!result.empty() && (result.back() == ' ' || result.back() == '.')) result.pop_back();
    for (char c : result) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == ':' || c == '\\' || c == '/')
            return {};
    }
    return result;
}

bool HasWildcard(const std::string& name)
{
    return name.find_first_of("*?") != std::string::npos;
}

TDirEntry EntryOf(const WIN32_FIND_DATAA& data)
{
    TDirEntry entry;
    entry.Name = data.cFileName;
    entry.ShortName = data.cAlternateFileName;
    entry.Attributes = data.dwFileAttributes;
    entry.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    entry.WriteTime = data.ftLastWriteTime;
    return entry;
}

// What the system gives for the pattern, entry by entry. A name without
// wildcards has one entry at most: asking for a next one would only cost a
// round trip.
TFoundEntries SystemEntries(const std::string& pattern, bool firstOnly)
{
    TFoundEntries found;
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) {
        found.Error = GetLastError();
        return found;
    }
    do {
        found.Entries.push_back(EntryOf(data));
        if (firstOnly) break;
    } while (FindNextFileA(find.Get(), &data));
    return found;
}

enum class TListingResult { Listed, Missing, Unanswerable };

// The name in the ANSI code page, as FindFirstFileA gives it; false when the
// code page cannot hold it as it is (the system then gives a look-alike, "a"
// for an alpha, or "?").
bool Narrowed(const wchar_t* name, std::string& narrow)
{
    size_t size = wcslen(name);
    // ASCII is the same in every ANSI code page: no conversion to ask the system for.
    if (std::all_of(name, name + size, [](wchar_t c) { return c < 0x80; })) {
        narrow.assign(name, name + size);
        return true;
    }
    narrow = FromWide(name, size);
    return ToWide(narrow) == std::wstring(name, size);
}

// Lists the directory into `listed`, by the wide names, so that a name the
// ANSI code page cannot hold is noticed. A directory that cannot be listed
// is Missing; one with such a name is Unanswerable: the look-alike name the
// system gives for it would answer for another file's name.
TListingResult ListDirectory(const std::string& directory, TListedDirectory& listed)
{
    WIN32_FIND_DATAW data;
    std::wstring all = ToWide(directory + "*");
    // Large buffers: a directory of thousands of files comes in a few round
    // trips instead of one per few dozen names. Systems before Windows 7
    // refuse the flag and list it the plain way.
    UniqueFind find(FindFirstFileExW(all.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
    DWORD error = find ? 0 : GetLastError();
    if (error == ERROR_INVALID_PARAMETER) {
        find.Reset(FindFirstFileW(all.c_str(), &data));
        error = find ? 0 : GetLastError();
    }
    if (error == ERROR_CALL_NOT_IMPLEMENTED) {
        // The 9x family has no wide file functions: its look-ups go to the system as they always did.
        listed = TListedDirectory{};
        listed.Unanswerable = true;
        return TListingResult::Unanswerable;
    }
    // No entry at all (a drive's empty root) is a listing too.
    if (!find && error != ERROR_FILE_NOT_FOUND) return TListingResult::Missing;
    TListedDirectory fresh;
    fresh.Listed = true;
    while (find) {
        TDirEntry entry;
        if (!Narrowed(data.cFileName, entry.Name) || !Narrowed(data.cAlternateFileName, entry.ShortName)) {
            listed = TListedDirectory{};
            listed.Unanswerable = true;
            return TListingResult::Unanswerable;
        }
        entry.Attributes = data.dwFileAttributes;
        entry.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        entry.WriteTime = data.ftLastWriteTime;
        fresh.Folded.AddFolded(entry.Name);
        fresh.FoldedShort.AddFolded(entry.ShortName);
        fresh.Entries.push_back(std::move(entry));
        if (FindNextFileW(find.Get(), &data)) continue;
        // A listing that broke off (the share went away) would leave names out.
        if (GetLastError() != ERROR_NO_MORE_FILES) return TListingResult::Missing;
        break;
    }
    // Indexed once the number of names is known: the index never grows.
    fresh.Index = BuildFoldedIndex(fresh.Folded, fresh.FoldedShort);
    fresh.SystemLookUps = listed.SystemLookUps;
    listed = std::move(fresh);
    return TListingResult::Listed;
}

// The directory's listing when the use allows one (listing it now if need
// be), or null: the system is to be asked.
TListedDirectory* ListingFor(std::string_view directory, const std::string& key, TListingUse use)
{
    if (key.empty()) return nullptr;
    auto& directories = Listings().Directories;
    auto found = directories.find(key);
    if (found != directories.end() && (found->second.Listed || found->second.Unanswerable))
        return found->second.Listed ? &found->second : nullptr;
    if (use == TListingUse::IfListed) return nullptr;
    TListedDirectory& listed = directories[key];
    if (use == TListingUse::WhenRepeated && ++listed.SystemLookUps <= LookUpsBeforeListing) return nullptr;
    switch (ListDirectory(std::string(directory), listed)) {
    case TListingResult::Listed:
        return &listed;
    case TListingResult::Missing:
        // A target directory that is not there is asked about name by name
        // until the run creates it; the source directory is tried again.
        if (use == TListingUse::WhenRepeated) listed.Unanswerable = true;
        return nullptr;
    case TListingResult::Unanswerable:
        return nullptr;
    }
    return nullptr;
}

// The index of the entry FindFirstFile gives for a name without wildcards:
// the first one spelled exactly so, else the first whose name or alias
// matches without regard to case (`folded`, the name folded).
bool FindSingle(const TListedDirectory& listed, const std::string& name, const std::wstring& folded, size_t& index)
{
    return FindFolded(listed.Index, listed.Folded, listed.FoldedShort, folded,
                      [&listed, &name](size_t i) { return listed.Entries[i].Name == name; }, index);
}

// The listing that may answer for the pattern, as the use allows (listing
// its directory now if need be; listed anew for a mask when the run changed
// the directory), with the pattern's name part as the system takes it;
// null when the system is to be asked.
TListedDirectory* ListingOf(const std::string& pattern, TListingUse use, std::string& name)
{
    size_t slash = pattern.find_last_of("\\/:");
    // The directory part as DirectoryPart gives it, without a copy.
    std::string_view directory(pattern.data(), slash == std::string::npos ? 0 : slash + 1);
    name = NormalizedName(FileNamePart(pattern));
    std::string scratch;
    const std::string& key =
        pattern.size() < MAX_PATH && !name.empty() ? DirectoryKeyOf(directory, scratch) : scratch;
    TListedDirectory* listed = ListingFor(directory, key, use);
    if (listed && HasWildcard(name) && !listed->Changed.empty() &&
        ListDirectory(std::string(directory), *listed) != TListingResult::Listed)
        return nullptr;
    if (listed) FoldNameInto(name, Listings().Folding);
    return listed;
}

// The listing's entry for a name without wildcards (null when there is none
// of that name), the name folded in Listings().Folding; false when a name
// the run changed leaves the answer to the system.
bool ListedEntry(const TListedDirectory& listed, const std::string& name, const TDirEntry*& entry)
{
    const std::wstring& folded = Listings().Folding;
    size_t index = 0;
    bool hit = FindSingle(listed, name, folded, index);
    // A name the run changed (by this name or by its alias) is the system's to tell.
    const std::set<std::wstring, std::less<>>& changed = listed.Changed;
    if (!changed.empty() && (changed.count(folded) || (hit && (changed.count(listed.Folded[index]) ||
                                                               changed.count(listed.FoldedShort[index])))))
        return false;
    entry = hit ? &listed.Entries[index] : nullptr;
    return true;
}

// What the system gives for a pattern the listing does not answer.
TFoundEntries AskedEntries(const std::string& pattern)
{
    return SystemEntries(pattern, FileNamePart(pattern).find_first_of("*?<>\"") == std::string::npos);
}

}  // namespace

TFoundEntries FindEntries(const std::string& pattern, TListingUse use)
{
    std::string name;
    TListedDirectory* listed = ListingOf(pattern, use, name);
    bool wildcard = HasWildcard(name);
    TFoundEntries found;
    if (listed && !wildcard) {
        const TDirEntry* entry = nullptr;
        if (ListedEntry(*listed, name, entry)) {
            if (entry)
                found.Entries.push_back(*entry);
            else
                found.Error = ERROR_FILE_NOT_FOUND;
            return found;
        }
        listed = nullptr;
    }
    // Masks are matched the way the system met here matches them (Wine's
    // matcher, which the tests hold the listing to). Windows gives ? and *.
    // meanings of its own near dots and at the end of a name, which no test
    // here can hold the listing to: there a mask is the system's to answer.
    if (wildcard && !Run.UnderWine) listed = nullptr;
    if (!listed) return AskedEntries(pattern);

    const std::wstring& folded = Listings().Folding;
    for (size_t i = 0; i < listed->Entries.size(); ++i) {
        if (MaskMatches(listed->Folded[i], folded) ||
            (!listed->FoldedShort[i].empty() && MaskMatches(listed->FoldedShort[i], folded)))
            found.Entries.push_back(listed->Entries[i]);
    }
    if (found.Entries.empty()) found.Error = ERROR_FILE_NOT_FOUND;
    return found;
}

const std::vector<TDirEntry>* DirectoryEntries(const std::string& directory)
{
    TListedDirectory* listed = ListingFor(directory, DirectoryKey(directory), TListingUse::Always);
    // What the run changed there since is seen anew, as a mask would see it.
    if (listed && !listed->Changed.empty() && ListDirectory(directory, *listed) != TListingResult::Listed)
        return nullptr;
    return listed ? &listed->Entries : nullptr;
}

bool LookUpEntry(const std::string& path, TListingUse use, TDirEntry& entry)
{
    // A mask is no path: the system refuses it as a name.
    if (HasWildcard(FileNamePart(path))) return false;
    // As FindEntries finds it, without a list for the one entry: the run looks up every target so.
    std::string name;
    const TDirEntry* listed = nullptr;
    if (TListedDirectory* listing = ListingOf(path, use, name); listing && ListedEntry(*listing, name, listed)) {
        if (!listed) return false;
        entry = *listed;
        return true;
    }
    TFoundEntries found = AskedEntries(path);
    if (found.Error != 0 || found.Entries.empty()) return false;
    entry = std::move(found.Entries.front());
    return true;
}

uint64_t NotedChanges()
{
    return g_notedChanges;
}

void NoteFileChanged(const std::string& path)
{
    ++g_notedChanges;
    if (!Run.Listings) return;
    std::string key = DirectoryKey(DirectoryPart(path));
    auto found = Run.Listings->Directories.find(key);
    if (found == Run.Listings->Directories.end()) return;
    if (!found->second.Listed) {
        // A directory given up on (say, missing) may be answerable now.
        if (found->second.Unanswerable) Run.Listings->Directories.erase(found);
        return;
    }
    std::string name = NormalizedName(FileNamePart(path));
    if (name.empty()) {
        // A name the listing cannot tell apart: nothing of it is trusted any more.
        Run.Listings->Directories.erase(found);
        return;
    }
    found->second.Changed.insert(FoldedName(name));
}

void NoteDirectoryChanged(const std::string& path)
{
    ++g_notedChanges;
    if (!Run.Listings) return;
    std::string directory = path;
    while (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
    NoteFileChanged(directory);
    std::string key = DirectoryKey(directory + "\\");
    if (key.empty()) return;
    auto& directories = Run.Listings->Directories;
    for (auto at = directories.begin(); at != directories.end();) {
        if (at->first.compare(0, key.size(), key) == 0)
            at = directories.erase(at);
        else
            ++at;
    }
}
