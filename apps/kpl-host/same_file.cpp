#include "apps/kpl-host/same_file.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace kplhost {

namespace {

// The absolute path the name resolves to; for a file still to be made, the
// resolved folder and the name.
std::string resolved(const std::string& path) {
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf)) return buf;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (::realpath(dir.c_str(), buf)) return std::string(buf) + "/" + name;
  return path;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return resolved(a) == resolved(b);
}

}  // namespace kplhost
