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
