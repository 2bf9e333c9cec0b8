#include "hardware_id_pattern.h"

#include "text.h"
#include "wildcard.h"

namespace devinstall {

HardwareIdPattern HardwareIdPattern::parse(std::wstring_view argument) {
  if (argument == L"*") return {Kind::kEveryDevice, argument};
  if (argument.empty()) return {Kind::kId, argument};
  const std::wstring_view rest = argument.substr(1);
  switch (argument.front()) {
    case L'@':
      return {rest.find(L'*') == std::wstring_view::npos ? Kind::kInstanceId : Kind::kInstanceIdWildcard, rest};
    case L'=':
      return {Kind::kSetupClass, rest};
    case L'\'':
      return {Kind::kLiteralId, rest};
    default:
      return {Kind::kId, argument};
  }
}

HardwareIdPattern HardwareIdPattern::literal(std::wstring_view id) { return {Kind::kLiteralId, id}; }

bool HardwareIdPattern::matches(std::wstring_view id) const noexcept {
  switch (kind_) {
    case Kind::kLiteralId:
      return equalsIgnoringCase(text_, id);
    case Kind::kId:
    case Kind::kInstanceIdWildcard:
      return matchesWildcard(text_, id);
    default:
      return false;
  }
}

}  // namespace devinstall
