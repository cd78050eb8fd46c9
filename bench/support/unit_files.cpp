#include "bench/support/unit_files.h"

#include <json/writer.h>

#include <fstream>
#include <stdexcept>

namespace qltbench {

namespace {

void write_json(const std::string& path, const Json::Value& doc) {
  std::ofstream out(path);
  Json::StreamWriterBuilder w;
  w["indentation"] = "";
  out << Json::writeString(w, doc) << "\n";
  if (!out.flush()) throw std::runtime_error(path + ": cannot be written");
}

}  // namespace

void write_unit_config(const std::string& path, int units, Blocks blocks) {
  Json::Value doc;
  for (int i = 1; i <= units; ++i) {
    Json::Value d = device_json(static_cast<unsigned int>(i), blocks, 0);
    d["sim"]["vary"] = true;
    doc["devices"].append(d);
  }
  write_json(path, doc);
}

std::map<unsigned int, unsigned short> read_ports(const std::string& path) {
  std::map<unsigned int, unsigned short> ports;
  std::ifstream in(path);
  unsigned int device = 0, port = 0;
  while (in >> device >> port) ports[device] = static_cast<unsigned short>(port);
  return ports;
}

void write_host_config(const std::string& path, const std::map<unsigned int, unsigned short>& ports,
                       Blocks blocks, int poll_interval_ms) {
  Json::Value doc;
  doc["poll_interval_ms"] = poll_interval_ms;
  for (const auto& [device, port] : ports) doc["devices"].append(device_json(device, blocks, port));
  write_json(path, doc);
}

}  // namespace qltbench
