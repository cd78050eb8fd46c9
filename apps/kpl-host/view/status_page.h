// The live status page, served from the binary: plain HTML, CSS and
// JavaScript with no outside assets (controllers have no internet). It asks
// /api/devices every second and shows one block per device: its state by
// colour and word, the age of its last round, its active alarms with their
// texts, its environment values and battery voltages.
#pragma once

#include <string>

namespace kplhost {

const std::string& status_page_html();

}  // namespace kplhost
