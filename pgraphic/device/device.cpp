// Placeholder unit so the library has a source until its first real unit lands.
namespace pg_device_detail {
int LibraryMarker() { return 0; }
} // namespace pg_device_detail
