// The message table: every message, progress line, status word and script word
// has a fixed id. The built-in texts are the program's string-table resource;
// a language file beside the program replaces the whole table.
#pragma once

#include <string>

enum MessageId : unsigned {
    // The run log
    MsgLogUnwritable = 65328,
    MsgLogHeader = 65329,
    MsgLogFirstRun = 65330,
    MsgLogRestartedCopy = 65331,
    MsgLogFooter = 65332,
    MsgLogInterrupted = 65333,
    MsgLogCtrlC = 65334,
    MsgLogCtrlBreak = 65335,
    MsgLogWindowClosed = 65336,
    MsgLogLogoff = 65337,
    MsgLogShutdown = 65338,
    WordLogFile = 65339,
    WordLogSize = 65340,
    // Messages
    MsgIniNameNeeded = 65360,
    MsgNewVersionNotFound = 65361,
    MsgActionAtReboot = 65362,
    MsgEngineNotInstalled = 65363,
    MsgCantOpenOrCreate = 65364,
    MsgNotSupported = 65365,
    MsgPressAnyKey = 65366,
    // Progress lines
    MsgUpdating = 65376,
    MsgDeleting = 65377,
    MsgFilesHeading = 65378,
    MsgDirsHeading = 65379,
    MsgRegistryHeading = 65380,
    MsgIniHeading = 65381,
    MsgEngineInit = 65382,
    MsgSavingEngineConfig = 65383,
    MsgAliasesHeading = 65384,
    MsgTextHeading = 65385,
    MsgOleHeading = 65386,
    MsgItemLine = 65387,
    MsgRenameLine = 65388,
    MsgValueLine = 65389,
    MsgLoading = 65390,
    MsgRepeatLoading = 65391,
    // Script words
    WordIni = 65392,
    WordSection = 65393,
    WordBDEAlias = 65394,
    WordParams = 65395,
    WordText = 65396,
    WordComSrv = 65397,
    WordStr = 65398,
    WordPrefix = 65399,
    WordFull = 65400,
    // Progress lines, continued
    MsgTitle = 65401,
    MsgFailedBox = 65402,
    MsgOkBox = 65403,
    MsgErrorPrefix = 65404,
    MsgInitialization = 65405,
    MsgProcessing = 65406,
    MsgInserting = 65407,
    // Script words, continued
    WordCheckVersion = 65408,
    WordKeepNewest = 65409,
    WordUntilReboot = 65410,
    Word9xOnly = 65411,
    WordNtOnly = 65412,
    WordWine = 65413,
    WordInclude = 65414,
    WordFile = 65415,
    WordFlags = 65416,
    WordRenameTo = 65417,
    WordDir = 65418,
    WordReg = 65419,
    WordVal = 65420,
    WordName = 65421,
    WordType = 65422,
    WordValue = 65423,
    WordPfDir = 65424,
    WordCfDir = 65425,
    WordMediaDir = 65426,
    WordSrcDir = 65427,
    WordDefault = 65428,
    WordWinHeader = 65429,
    WordPause = 65430,
    WordSelfPause = 65431,
    WordSettings = 65432,
    WordSourcePath = 65433,
    WordLanguage = 65434,
    WordRun = 65435,
    WordSectionOrder = 65436,
    WordItemOrder = 65437,
    WordNotCheckSize = 65438,
    WordNotCheckDatetime = 65439,
    // 65440..65445: messages added by this program's own decisions
    MsgIncludeCycle = 65440,
    WordConstants = 65446,
    WordOptions = 65447,
    WordInsert = 65448,
    WordUpdate = 65449,
    WordDelete = 65450,
    WordBootDir = 65451,
    WordWinDir = 65452,
    WordWinSysDir = 65453,
    WordEtcDir = 65454,
    WordTempDir = 65455,
};

// Looks for the language file beside the program (ExeName with the locale's
// three-letter language abbreviation as extension, else its first two
// letters) and, when one exists, takes every text from it from now on.
void LoadLanguageFile(const std::string& exeDir, const std::string& exeName);

// The text of an id, from the language file when one was loaded (an id it
// lacks reads as empty), else from the built-in table.
std::string Msg(unsigned id);

// Msg(id) used as a printf format with string arguments.
std::string FormatMsg(unsigned id, const std::string& a);
std::string FormatMsg(unsigned id, const std::string& a, const std::string& b);
std::string FormatMsg(unsigned id, const std::string& a, long n);

// Releases the language file (end of the run).
void UnloadLanguageFile();
