// Fault script of the stand-in modules: "<when>:<action>" rules joined by "|".
#include "standin.h"

#include <cerrno>
#include <cstdlib>

namespace {

struct ActionName {
  std::string_view name;
  FaultAction action;
  bool needsValue;
};

static constexpr ActionName kActions[] = {
    {"exit", FaultAction::Exit, true},       {"signal", FaultAction::Signal, true},
    {"result", FaultAction::Result, true},   {"echo", FaultAction::Echo, true},
    {"payload", FaultAction::Payload, true}, {"rawpayload", FaultAction::RawPayload, true},
    {"hang", FaultAction::Hang, false},      {"closeres", FaultAction::CloseRes, false},
    {"halfdata", FaultAction::HalfData, false}, {"sleep", FaultAction::Sleep, true},
};

// 'findAction()' - Look an action name up in the table; null when unknown.
const ActionName *findAction(std::string_view name)
{
  for (const ActionName &a : kActions)
    if (a.name == name)
      return &a;
  return nullptr;
}

// 'parseNumber()' - Read a whole decimal number (sign allowed); false otherwise.
bool parseNumber(std::string_view text, long *value)
{
  if (text.empty())
    return false;
  std::string s(text);
  char *end = nullptr;
  errno = 0;
  long v = strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0')
    return false;
  *value = v;
  return true;
}

// 'parseHex()' - Decode an even-length hex text into bytes.
bool parseHex(std::string_view text, std::string *bytes)
{
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() % 2 != 0)
    return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0)
      return false;
    *bytes += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

// 'parseWhen()' - Parse probe, start, *, #n, <code> or <code>#n.
bool parseWhen(std::string_view text, FaultRule *rule)
{
  if (text == "probe") { rule->when = FaultWhen::Probe; return true; }
  if (text == "start") { rule->when = FaultWhen::Start; return true; }
  if (text == "*") { rule->when = FaultWhen::Any; return true; }
  if (text.starts_with('#')) {
    rule->when = FaultWhen::Nth;
    return parseNumber(text.substr(1), &rule->nth) && rule->nth > 0;
  }
  size_t hash = text.find('#');
  long code = 0;
  if (!parseNumber(text.substr(0, hash), &code) || code < 0 || code > 65535)
    return false;
  rule->code = static_cast<int>(code);
  if (hash == std::string_view::npos) {
    rule->when = FaultWhen::Code;
    return true;
  }
  rule->when = FaultWhen::CodeNth;
  return parseNumber(text.substr(hash + 1), &rule->nth) && rule->nth > 0;
}

// 'parseAction()' - Parse name or name=value into the rule.
bool parseAction(std::string_view text, FaultRule *rule)
{
  size_t eq = text.find('=');
  const ActionName *a = findAction(text.substr(0, eq));
  if (a == nullptr || a->needsValue != (eq != std::string_view::npos))
    return false;
  rule->action = a->action;
  if (!a->needsValue)
    return true;
  std::string_view value = text.substr(eq + 1);
  switch (a->action) {
  case FaultAction::Payload:
    rule->bytes = std::string(value);
    rule->bytes += '\0';
    return true;
  case FaultAction::RawPayload:
    return parseHex(value, &rule->bytes);
  default:
    return parseNumber(value, &rule->value);
  }
}

} // namespace

// 'standinParseFaults()' - Parse the whole script; an empty or null text has no rules.
bool standinParseFaults(const char *text, std::vector<FaultRule> *rules, std::string *error)
{
  if (text == nullptr)
    return true;
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t bar = rest.find('|');
    std::string_view item = rest.substr(0, bar);
    rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    if (item.empty())
      continue;
    size_t colon = item.find(':');
    FaultRule rule{};
    if (colon == std::string_view::npos || !parseWhen(item.substr(0, colon), &rule) ||
        !parseAction(item.substr(colon + 1), &rule)) {
      *error = "bad fault rule '" + std::string(item) + "'";
      return false;
    }
    rules->push_back(rule);
  }
  return true;
}

// 'standinFaultMatches()' - Tell whether rule applies at this point or command.
bool standinFaultMatches(const FaultRule &rule, FaultWhen point, int code, long codeNth,
                         long overallNth)
{
  if (point == FaultWhen::Probe || point == FaultWhen::Start)
    return rule.when == point;
  switch (rule.when) {
  case FaultWhen::Code: return rule.code == code;
  case FaultWhen::CodeNth: return rule.code == code && rule.nth == codeNth;
  case FaultWhen::Any: return true;
  case FaultWhen::Nth: return rule.nth == overallNth;
  default: return false;
  }
}
