/* The program's version: the one place that holds it. Read by the C++ code
   (banner, run log) and by the resource script (VERSIONINFO), so it is kept
   to what both preprocessors understand. */
#pragma once

#define VANTOREL_VERSION_MAJOR 1
#define VANTOREL_VERSION_MINOR 5
#define VANTOREL_VERSION_RELEASE 0
#define VANTOREL_VERSION_BUILD 0

#define VANTOREL_STRINGIZE_(x) #x
#define VANTOREL_STRINGIZE(x) VANTOREL_STRINGIZE_(x)

/* "1.5": what the banner and the run log show. */
#define VANTOREL_VERSION_TEXT VANTOREL_STRINGIZE(VANTOREL_VERSION_MAJOR) "." VANTOREL_STRINGIZE(VANTOREL_VERSION_MINOR)
/* "1.5.0.0": the version resource's texts. */
#define VANTOREL_VERSION_FULL_TEXT \
    VANTOREL_VERSION_TEXT "." VANTOREL_STRINGIZE(VANTOREL_VERSION_RELEASE) "." VANTOREL_STRINGIZE(VANTOREL_VERSION_BUILD)
