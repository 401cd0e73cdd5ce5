#include "inspect/InspectUsage.h"

#include "platform/Platform.h"

namespace inspect {

void PrintInspectUsage() {
    platform::PrintText(
        L"\n\nUSAGE:\n\n"
        L"\t- zarnrepo-inspect /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
        L"\t   [/format:text|json] [/verify:0|1] [/fileId:<FILE_ID>]\n\n"
        L"\t\tLists the files of the repository in <REPOSITORY_DIRECTORY_PATH>\n"
        L"\t\tin identifier order, one line per file (/format:text, the default)\n"
        L"\t\tor as one JSON document {\"formatVersion\":1,\"entries\":[...]}\n"
        L"\t\t(/format:json).\n\n"
        L"\t\tA line holds, separated by tabs: identifier, version, permissions,\n"
        L"\t\tcontent size, time last changed (ISO 8601, UTC), destination and\n"
        L"\t\tdescription. Within them a backslash is written \\\\, a tab \\t,\n"
        L"\t\ta line feed \\n, a carriage return \\r, and any other control\n"
        L"\t\tcharacter or unpaired surrogate \\uXXXX; U+DC80..U+DCFF stand for\n"
        L"\t\tfile-name bytes that are not UTF-8. JSON strings use \\\" and \\\\,\n"
        L"\t\tand \\uXXXX likewise; other text is UTF-8.\n\n"
        L"\t\t/verify:1 also checks that every stored copy exists with its\n"
        L"\t\trecorded size and checksum. Each problem adds a line \"problem\",\n"
        L"\t\tidentifier, destination and what is wrong (in JSON, an element of\n"
        L"\t\t\"problems\"), and the exit code is then 1. A file that records no\n"
        L"\t\tchecksum adds a line \"unverified\" (in JSON, an element of\n"
        L"\t\t\"unverified\") and is no problem.\n\n"
        L"\t\t/fileId:<FILE_ID> shows that one file alone, as the listing would;\n"
        L"\t\tthe exit code is 1 when the repository has no such file.\n\n"
        L"\tOR\n\n"
        L"\t- zarnrepo-inspect /version:1\n\n"
        L"\t\tPrints the program's version.\n\n");
}

}  // namespace inspect
