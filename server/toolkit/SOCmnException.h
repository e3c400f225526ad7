#pragma once
// The toolkit's one exception. Code 1 "Out of memory" is thrown whenever an allocation of a
// server or toolkit object fails; nothing is meant to catch it.
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <utility>

class SOCmnException : public std::exception {
 public:
  SOCmnException(std::uint32_t code, std::string text) : code_(code), text_(std::move(text)) {}
  std::uint32_t getCode() const { return code_; }
  const std::string& getText() const { return text_; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::uint32_t code_;
  std::string text_;
};

inline constexpr std::uint32_t SOCMN_EXCEPTION_OUT_OF_MEMORY = 1;

[[noreturn]] void SOCmnThrowOutOfMemory();

// new T(args...), turning an allocation failure into SOCmnException(1, "Out of memory").
template <class T, class... Args>
T* SOCmnNew(Args&&... args) {
  try {
    return new T(std::forward<Args>(args)...);
  } catch (const std::bad_alloc&) {
    SOCmnThrowOutOfMemory();
  }
}
