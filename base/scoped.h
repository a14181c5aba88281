// Owns one handle that a service gave out (an open file, a registry key, a
// folder listing) and gives it back to that service exactly once.
#pragma once

namespace korvelt {

// `Service` has `void Close(Id)`; the id 0 stands for no handle.
template <typename Service, typename Id>
class Scoped {
 public:
  Scoped(Service& service, Id id) : service_(service), id_(id) {}
  ~Scoped() { Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  Id Get() const { return id_; }
  bool Valid() const { return id_ != 0; }
  // Closes the handle held, if any, and holds `id` instead.
  void Reset(Id id = 0) {
    if (id_) service_.Close(id_);
    id_ = id;
  }

 private:
  Service& service_;
  Id id_;
};

}  // namespace korvelt
