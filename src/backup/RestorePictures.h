#pragma once

#include <QPixmap>
#include <QSize>

// The Restore dialog's two fixed pictures, drawn by the program so that no image file has to
// travel with it.
namespace vantor::restorepictures {

// ImgDn: the data's way, from the backup folder down to the instrument.
QPixmap downArrow(QSize size);
// Image2: the instrument's PC beside its controller rack, where the data goes.
QPixmap instrument(QSize size);

} // namespace vantor::restorepictures
