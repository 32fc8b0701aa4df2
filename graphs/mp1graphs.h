// Plugs the 2D graph editor and the 3D plot into the map editor page: the page gets
// two views (its graph buttons light up), the windows get the page as their editor.
#pragma once

class QWidget;

namespace maps {
class Mp1Page;
}

namespace graphs {

// Creates both windows, top-level over `parent`, and attaches them to `page`. The
// page owns them from then on.
void AttachGraphWindows(maps::Mp1Page& page, QWidget* parent);

}  // namespace graphs
