#include "options.h"

#include <cwchar>
#include <cwctype>

namespace pixora::host {

const wchar_t kUsage[] =
    L"usage: pixora-host [--device NAME] [--format WxH@FPS] [--fill fit|fill|stretch]\n"
    L"                   [--mirror] [--flip] [--rotate] [--seconds S] [--snapshot FILE]\n"
    L"                   PICTURE-OR-VIDEO\n";

namespace {

bool ParseFormat(const wchar_t* text, Options* options) {
  wchar_t rest = 0;
  return std::swscanf(text, L"%ldx%ld@%ld%lc", &options->width, &options->height, &options->fps,
                      &rest) == 3;
}

bool ParseFill(const std::wstring& text, long* mode) {
  const wchar_t* names[] = {L"fit", L"fill", L"stretch"};
  for (long i = 0; i < 3; ++i) {
    if (text == names[i]) {
      *mode = i;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseOptions(int argc, wchar_t** argv, Options* options, std::wstring* error) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--mirror") {
      options->mirror = true;
    } else if (arg == L"--flip") {
      options->flip = true;
    } else if (arg == L"--rotate") {
      options->rotate = true;
    } else if (arg == L"--device" && hasValue) {
      options->device = argv[++i];
    } else if (arg == L"--format" && hasValue) {
      if (!ParseFormat(argv[++i], options)) {
        *error = L"--format wants WIDTHxHEIGHT@FPS, e.g. 1280x720@30";
        return false;
      }
    } else if (arg == L"--fill" && hasValue) {
      if (!ParseFill(argv[++i], &options->fillMode)) {
        *error = L"--fill wants fit, fill or stretch";
        return false;
      }
    } else if (arg == L"--seconds" && hasValue) {
      options->seconds = std::wcstod(argv[++i], nullptr);
      if (!(options->seconds > 0)) {
        *error = L"--seconds wants a positive number";
        return false;
      }
    } else if (arg == L"--snapshot" && hasValue) {
      options->snapshot = argv[++i];
    } else if (arg.rfind(L"--", 0) == 0) {
      *error = L"unknown or incomplete option " + arg;
      return false;
    } else if (options->input.empty()) {
      options->input = arg;
    } else {
      *error = L"one input only";
      return false;
    }
  }
  if (options->input.empty()) {
    *error = L"no input";
    return false;
  }
  return true;
}

}  // namespace pixora::host
