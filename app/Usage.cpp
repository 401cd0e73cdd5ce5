#include "app/Usage.h"

#include <string_view>

#include "platform/Platform.h"

namespace app {
namespace {

constexpr std::wstring_view kUsageLines[] = {
    L"\n\nUSAGE:\n\n",
    L"\t- /command:addFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n",
    L"\t   /fileId:<FILE_ID> /fileDesc:<FILE_DESCRIPTION>\n",
    L"\t   /fileVersion:<FILE_VERSION> /filePermissions:<FILE_PERMISSIONS>\n",
    L"\t   /sourceFilePath:<SOURCE_FILE_PATH> /targetFilePath:<TARGET_FILE_PATH>\n\n",
    L"\t\tAdds the file located in <SOURCE_FILE_PATH> to the repository\n",
    L"\t\tin <REPOSITORY_DIRECTORY_PATH> on destination path specified\n",
    L"\t\tin <TARGET_FILE_PATH> (absolute or relative).\n\n",
    L"\t\t<FILE_PERMISSIONS> values:\n\t\t 1 -> User\n\t\t 2 -> Admin\n\t\t 3 -> Admin + User\n\n",
    L"\tOR\n\n",
    L"\t- /command:modifyFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n",
    L"\t   /fileId:<FILE_ID> /sourceFilePath:<SOURCE_FILE_PATH>\n\n",
    L"\t\tModifies the file specified in <FILE_ID> in the repository\n",
    L"\t\tspecified in <REPOSITORY_DIRECTORY_PATH> with the\n",
    L"\t\tcontent of the file located in <SOURCE_FILE_PATH>.\n\n",
    L"\tOR\n\n",
    L"\t- /command:deleteFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n",
    L"\t   /fileId:<FILE_ID>\n\n",
    L"\t\tDeletes the file specified in <FILE_ID> from the repository\n",
    L"\t\tspecified in <REPOSITORY_DIRECTORY_PATH>.\n\n",
    L"\tOR\n\n",
    L"\t- /command:getFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n",
    L"\t   /fileId:<FILE_ID> /targetFilePath:<TARGET_FILE_PATH>\n\n",
    L"\t\tGets the content of the file specified in <FILE_ID>\n",
    L"\t\tfrom the repository specified in <REPOSITORY_DIRECTORY_PATH>\n",
    L"\t\tto the destination file specified in <TARGET_FILE_PATH>.\n\n",
};

}  // namespace

void PrintUsage() {
    for (const std::wstring_view line : kUsageLines) platform::PrintText(line);
}

}  // namespace app
