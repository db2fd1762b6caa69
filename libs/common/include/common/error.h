// What went wrong, as the program's modules say it to their callers: a short
// kind word a caller can act on ("not-found", "argument", "system",
// "network", ...) and a message for a person, with the system's own text where
// there is one.
#pragma once

#include <expected>
#include <string>
#include <utility>

namespace vx {

struct Error {
  std::string kind;
  std::string message;
  friend bool operator==(const Error&, const Error&) = default;
};

template <class T = void>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(std::string kind, std::string message) {
  return std::unexpected(Error{std::move(kind), std::move(message)});
}

}  // namespace vx
