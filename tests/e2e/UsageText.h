// The usage text the tool prints after every argument error, written out in
// the 26 pieces it is made of.
#pragma once

#include <string>

namespace e2e {

inline std::string UsageText() {
    return "\n\nUSAGE:\n\n"
           "\t- /command:addFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
           "\t   /fileId:<FILE_ID> /fileDesc:<FILE_DESCRIPTION>\n"
           "\t   /fileVersion:<FILE_VERSION> /filePermissions:<FILE_PERMISSIONS>\n"
           "\t   /sourceFilePath:<SOURCE_FILE_PATH> /targetFilePath:<TARGET_FILE_PATH>\n\n"
           "\t\tAdds the file located in <SOURCE_FILE_PATH> to the repository\n"
           "\t\tin <REPOSITORY_DIRECTORY_PATH> on destination path specified\n"
           "\t\tin <TARGET_FILE_PATH> (absolute or relative).\n\n"
           "\t\t<FILE_PERMISSIONS> values:\n\t\t 1 -> User\n\t\t 2 -> Admin\n\t\t 3 -> Admin + User\n\n"
           "\tOR\n\n"
           "\t- /command:modifyFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
           "\t   /fileId:<FILE_ID> /sourceFilePath:<SOURCE_FILE_PATH>\n\n"
           "\t\tModifies the file specified in <FILE_ID> in the repository\n"
           "\t\tspecified in <REPOSITORY_DIRECTORY_PATH> with the\n"
           "\t\tcontent of the file located in <SOURCE_FILE_PATH>.\n\n"
           "\tOR\n\n"
           "\t- /command:deleteFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
           "\t   /fileId:<FILE_ID>\n\n"
           "\t\tDeletes the file specified in <FILE_ID> from the repository\n"
           "\t\tspecified in <REPOSITORY_DIRECTORY_PATH>.\n\n"
           "\tOR\n\n"
           "\t- /command:getFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
           "\t   /fileId:<FILE_ID> /targetFilePath:<TARGET_FILE_PATH>\n\n"
           "\t\tGets the content of the file specified in <FILE_ID>\n"
           "\t\tfrom the repository specified in <REPOSITORY_DIRECTORY_PATH>\n"
           "\t\tto the destination file specified in <TARGET_FILE_PATH>.\n\n";
}

}  // namespace e2e
