#pragma once
// Expected<T, E>: a value, or the error that says why there is none. The results of
// the platform boundary and of set-up steps use it instead of exceptions. It is the
// program's own small type rather than std::expected because the fuzz targets are built
// with a compiler whose standard library lacks that.

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace varnisk {

template <class E>
struct Unexpected {
  Unexpected(E e) : error(std::move(e)) {}
  E error;
};
template <class E>
Unexpected(E) -> Unexpected<E>;

template <class T, class E>
class Expected {
 public:
  template <class U = T>
    requires std::is_constructible_v<T, U&&>
  Expected(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <class G>
  Expected(Unexpected<G> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& operator*() & { return std::get<0>(state_); }
  const T& operator*() const& { return std::get<0>(state_); }
  T&& operator*() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  const E& error() const { return std::get<1>(state_); }
  T value_or(T fallback) const { return has_value() ? **this : fallback; }

 private:
  std::variant<T, E> state_;
};

template <class E>
class Expected<void, E> {
 public:
  Expected() = default;
  template <class G>
  Expected(Unexpected<G> failure) : error_(std::move(failure.error)) {}

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }
  const E& error() const { return *error_; }

 private:
  std::optional<E> error_;
};

}  // namespace varnisk
