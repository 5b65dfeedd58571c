#pragma once

// The two requests to stop, numbered as SIGINT and SIGTERM on every
// platform: 128 plus the number is the exit status of a process stopped so.
namespace quarvel::system {

inline constexpr int kInterruptRequest = 2;
inline constexpr int kTerminateRequest = 15;

}  // namespace quarvel::system
