#pragma once
// A picture of every glyph of both panel fonts, with their codes, and a few track
// layouts built from them: the way to look the fonts over.

#include <QImage>

namespace kestra::app {

QImage RenderFontSheet();

}  // namespace kestra::app
