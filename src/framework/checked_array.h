// Named, one-based, growable arrays with a bad-range flag that is reported
// when the array is released.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavro {

template <class T>
class checked_array {
 public:
  checked_array() = default;
  explicit checked_array(std::string_view name) : name_(name) {}
  checked_array(const checked_array&) = delete;
  checked_array& operator=(const checked_array&) = delete;
  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

 private:
  std::string name_;
  std::vector<T> cells_;
};

template <class T>
class checked_array_2d {
 public:
  checked_array_2d() = default;
  explicit checked_array_2d(std::string_view name) : name_(name) {}
  checked_array_2d(const checked_array_2d&) = delete;
  checked_array_2d& operator=(const checked_array_2d&) = delete;
  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

 private:
  std::string name_;
  std::vector<std::vector<T>> cells_;
};

template <class T>
class checked_array_3d {
 public:
  checked_array_3d() = default;
  explicit checked_array_3d(std::string_view name) : name_(name) {}
  checked_array_3d(const checked_array_3d&) = delete;
  checked_array_3d& operator=(const checked_array_3d&) = delete;
  const std::string& name() const { return name_; }
  void set_name(std::string_view name) { name_ = name; }

 private:
  std::string name_;
  std::vector<std::vector<std::vector<T>>> cells_;
};

}  // namespace kavro
