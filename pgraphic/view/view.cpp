// Placeholder unit so the library has a source until its first real unit lands.
namespace pg_view_detail {
int LibraryMarker() { return 0; }
} // namespace pg_view_detail
