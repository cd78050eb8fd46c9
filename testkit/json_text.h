// JSON documents written as text, for tests and fuzzers.
#pragma once

#include <json/reader.h>

#include <memory>
#include <stdexcept>
#include <string>

// Parses text as one JSON document; false, with errors saying why, when it
// is not one.
inline bool parse_json(const std::string& text, Json::Value& doc, std::string* errors = nullptr) {
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  return reader->parse(text.data(), text.data() + text.size(), &doc, errors);
}

// The document text holds; throws std::invalid_argument when it holds none.
inline Json::Value json_of(const std::string& text) {
  Json::Value doc;
  std::string errors;
  if (!parse_json(text, doc, &errors)) throw std::invalid_argument(errors);
  return doc;
}
