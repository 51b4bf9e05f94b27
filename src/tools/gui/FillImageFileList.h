#pragma once
// Fills list box listId (1221 unless given) of a tool window with the files that folder edit 1216
// and filter edit 1217 name, in the list's sorted order. Returns what ListImageFiles returns; the
// list is emptied and refilled either way, and earlier selections are lost.
class QWidget;

bool FillImageFileList(QWidget *dialog, int listId = 1221);
