// The web viewer page (web/, built with esbuild into one HTML file), compiled into kvg for
// `kvg html`. Empty when kvg was built without Node and the web packages.
#ifndef KVGTOOL_VIEWER_PAGE_H
#define KVGTOOL_VIEWER_PAGE_H

#include <string_view>

namespace kvgtool {

std::string_view viewerPage();

}  // namespace kvgtool

#endif  // KVGTOOL_VIEWER_PAGE_H
