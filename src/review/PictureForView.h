#pragma once
// Decodes a file of a duplicate group for people to look at: the small
// pictures of the review list and the full-size view. Within Corvane's pixel
// budget; a file that cannot be shown gives a null QImage (the list then says
// "no preview"), never an error. Shown as the whole-folder search compares
// it: a JPEG's or TIFF's orientation tag is applied.

#include <QByteArray>
#include <QImage>
#include <QSize>

QImage pictureForView(const QByteArray& path);

// The picture scaled to fit inside box, keeping its aspect ratio, never
// enlarged; smooth, so a small picture stays recognisable.
QImage fittedPicture(const QImage& picture, QSize box);

// A small picture of path that fits inside box, as pictureForView() shows it:
// a large JPEG is decoded at a half, a quarter or an eighth of its size
// (libjpeg scales inside its inverse transform), never so small that its
// shorter side drops under the box's longer one; every other picture is
// decoded whole and scaled.
QImage smallPictureForView(const QByteArray& path, QSize box);
