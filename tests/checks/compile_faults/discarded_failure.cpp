// Compiled as a file of the launch list: a save whose failure nobody reads
// must not build.
#include "launch/launch_file.h"

void saveAndForget(const std::filesystem::path& file) { launch::saveLaunchFile(file, {}); }
