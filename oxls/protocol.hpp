// Small pieces of the protocol's JSON that the request handlers share.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "oxls/source_text.hpp"

namespace oxls {

inline Position position_from(const nlohmann::json& p) { return {p.at("line").get<int>(), p.at("character").get<int>()}; }

inline nlohmann::json position_json(const Position& p) { return {{"line", p.line}, {"character", p.character}}; }

inline const std::string& uri_param(const nlohmann::json& params) {
    return params.at("textDocument").at("uri").get_ref<const std::string&>();
}

inline nlohmann::json markdown(const std::string& text) { return {{"kind", "markdown"}, {"value", text}}; }

}  // namespace oxls
