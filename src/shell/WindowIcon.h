#pragma once
// Corvane's 32 x 32 window icon, drawn in code: two overlapping photo frames
// with an equals sign.

#include <QImage>

QImage makeCorvaneIcon();
