#pragma once
// The server's own error codes, the same on both endpoints (refusals of values come from the
// shared validation, with codes of their own). Stable: scripts act on them.
namespace ServerError {
inline constexpr char BadJson[] = "bad_json";
inline constexpr char BadRequest[] = "bad_request";
inline constexpr char UnknownCommand[] = "unknown_command";
inline constexpr char Unauthorized[] = "unauthorized";
inline constexpr char LineTooLong[] = "line_too_long";
inline constexpr char TooManyClients[] = "too_many_clients";
inline constexpr char QueueFull[] = "queue_full";
inline constexpr char LinkDown[] = "link_down";
inline constexpr char Timeout[] = "timeout";
inline constexpr char ShuttingDown[] = "shutting_down";

inline constexpr const char* kAll[] = {BadJson,     BadRequest,     UnknownCommand, Unauthorized,
                                       LineTooLong, TooManyClients, QueueFull,      LinkDown,
                                       Timeout,     ShuttingDown};
} // namespace ServerError
