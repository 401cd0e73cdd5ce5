// The library's release as text inside the file, so that `strings KVDFiles.dll`
// tells which one is installed; it adds no export. Nothing reads it: "used"
// keeps the compiler from dropping it, and this file is linked into the
// library as an object of its own, never picked from an archive, so the
// linker keeps it too.
namespace kvd {
namespace {

[[gnu::used]] const char kLibraryVersion[] = "KVDFiles.dll " ZARN_VERSION;

}  // namespace
}  // namespace kvd
