#pragma once

#include <cstdint>

// The configuration manager's answers that the decisions look at, with the platform's
// values, so that the decisions compile without the platform's headers.
namespace devinstall::cm {

// CONFIGRET results.
inline constexpr std::uint32_t kSuccess = 0x00;       // CR_SUCCESS
inline constexpr std::uint32_t kNoSuchDevnode = 0x0D;  // CR_NO_SUCH_DEVNODE
inline constexpr std::uint32_t kNoSuchValue = 0x25;    // CR_NO_SUCH_VALUE

// Device node status bits.
inline constexpr std::uint32_t kDriverLoaded = 0x00000002;    // DN_DRIVER_LOADED
inline constexpr std::uint32_t kHasProblem = 0x00000400;      // DN_HAS_PROBLEM
inline constexpr std::uint32_t kPrivateProblem = 0x00008000;  // DN_PRIVATE_PROBLEM

// Problem codes.
inline constexpr std::uint32_t kProblemDisabled = 22;  // CM_PROB_DISABLED

}  // namespace devinstall::cm
