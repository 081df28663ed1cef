#pragma once

// The library's name and version.
#define PGRAPHIC_NAME "PGraphic"
#define PGRAPHIC_VERSION "0.1.0"
