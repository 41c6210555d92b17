#pragma once
// The server's own error codes, the same on every endpoint (refusals of values come from the
// shared validation, with codes of their own). Stable: scripts act on them.
namespace ServerError {
inline constexpr char BadJson[] = "bad_json";
inline constexpr char BadRequest[] = "bad_request";
inline constexpr char UnknownCommand[] = "unknown_command";
inline constexpr char UnknownField[] = "unknown_field";
inline constexpr char Unauthorized[] = "unauthorized";
inline constexpr char LineTooLong[] = "line_too_long";
inline constexpr char TooManyClients[] = "too_many_clients";
inline constexpr char QueueFull[] = "queue_full";
inline constexpr char LinkDown[] = "link_down";
inline constexpr char Timeout[] = "timeout";
inline constexpr char ShuttingDown[] = "shutting_down";
// The page's endpoint: a request too large to read, or from a page of another site.
inline constexpr char TooLarge[] = "too_large";
inline constexpr char Forbidden[] = "forbidden";

inline constexpr const char* kAll[] = {
    BadJson,   BadRequest, UnknownCommand, UnknownField, Unauthorized, LineTooLong, TooManyClients,
    QueueFull, LinkDown,   Timeout,        ShuttingDown, TooLarge,     Forbidden};
} // namespace ServerError
