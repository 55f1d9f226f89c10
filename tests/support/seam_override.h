#pragma once

// The one way tests replace platform calls: an override saves a folder's
// whole seam table when it is made and puts it back when it goes, on every
// path out of a test, a failed assertion included. Set the entries on the
// table itself while the override lives.
//   const SeamOverride<lumo::storage::StorageSeam> seam(lumo::storage::storageSeam);
//   lumo::storage::storageSeam.moveFileEx = &moveRefused;

namespace lumo {
namespace test {

template <typename Table>
class SeamOverride {
public:
  explicit SeamOverride(Table &table) : table_(table), saved_(table) {}
  SeamOverride(const SeamOverride &) = delete;
  SeamOverride &operator=(const SeamOverride &) = delete;
  ~SeamOverride() { table_ = saved_; }

private:
  Table &table_;
  const Table saved_;
};

}  // namespace test
}  // namespace lumo
