// Whether two paths name one file, however they are spelt: through "..",
// a symbolic link or a second hard link. A file that does not exist yet is
// compared by the folder it would be made in and its name.
#pragma once

#include <string>

namespace kplhost {

bool same_file(const std::string& a, const std::string& b);

}  // namespace kplhost
