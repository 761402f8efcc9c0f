// The name of the protection service: its service name and the source of its event-log messages.
#pragma once

namespace service {

inline constexpr char kServiceName[] = "CorvantisSvc";

}  // namespace service
