#pragma once
// Fills list box 1221 of a tool window with the files that folder edit 1216 and filter edit 1217
// name, in the list's sorted order. Returns what ListImageFiles returns; the list is emptied and
// refilled either way, and earlier selections are lost.
class QWidget;

bool FillImageFileList(QWidget *dialog);
