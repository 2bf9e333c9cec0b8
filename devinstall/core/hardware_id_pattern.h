#pragma once

#include <string>
#include <string_view>

namespace devinstall {

// What a command-line pattern selects, and how a device's IDs are matched against it.
class HardwareIdPattern {
 public:
  enum class Kind {
    kEveryDevice,         // "*": every present device of any class
    kInstanceId,          // "@ID" without "*": the one device with that instance ID
    kInstanceIdWildcard,  // "@..." with "*": present devices whose instance ID matches
    kSetupClass,          // "=NAME": present devices of the setup class of that name
    kLiteralId,           // "'ID": a hardware or compatible ID equal to ID, "*" included
    kId,                  // anything else: a hardware or compatible ID matching it
  };

  // The status command's reading of its pattern argument.
  static HardwareIdPattern parse(std::wstring_view argument);
  // A single hardware ID, compared whole (the install command's own ID).
  static HardwareIdPattern literal(std::wstring_view id);

  Kind kind() const noexcept { return kind_; }
  // The pattern without its leading marker: the instance ID, class name or ID pattern.
  const std::wstring& text() const noexcept { return text_; }

  // Whether one instance ID (kInstanceIdWildcard) or one hardware or compatible ID
  // (kLiteralId, kId) matches. Ignores case.
  bool matches(std::wstring_view id) const noexcept;
  // Whether the enumeration reads IDs at all; the other kinds select by the set alone.
  bool readsInstanceId() const noexcept { return kind_ == Kind::kInstanceIdWildcard; }
  bool readsIdLists() const noexcept { return kind_ == Kind::kLiteralId || kind_ == Kind::kId; }

 private:
  HardwareIdPattern(Kind kind, std::wstring_view text) : kind_(kind), text_(text) {}

  Kind kind_;
  std::wstring text_;
};

}  // namespace devinstall
