// The site's page, served from the binary at /: plain HTML, CSS and
// JavaScript with no outside assets (controllers have no internet). A
// header with the counts of devices by state and of alarms, a grid of every
// device that fits forty on a laptop's screen, a filter, a device's view
// with its values, alarms and trends, the alarm list with acknowledgement,
// and the alarm log, newest first, a page at a time.
#pragma once

#include <string>

namespace kplhost {

const std::string& site_page_html();

}  // namespace kplhost
