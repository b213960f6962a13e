#pragma once

#include <string>
#include <vector>

// Files dropped on a control from another program. A drop posts one event of kind 13106
// (object = the control, window = its window) whose data holds the dropped names.

constexpr int kFormatFileList = 15;  // a list of local files
constexpr int kDropCopy = 1, kDropMove = 2, kDropLink = 4;

// Makes the control accept drops of the format with the allowed actions (a set of the bits
// above); actions 0 removes the format, and a control with no format left accepts nothing.
// Other data, and drops where no control accepts them, are refused. Non-zero on success,
// 0 when the control does not exist.
int enableFileDrop(int control, int format, int actions);

// The local paths of the current event's dropped files in the order dropped, each exactly as
// the system names it (any bytes, a line feed included); none when the current event carries
// no file list.
std::vector<std::string> droppedFileNames();
