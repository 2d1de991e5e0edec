// ImageList: the table of picture file names that the slide show cycles through.
#pragma once
#include <windows.h>

const INT32 kImageListCapacity = 1024;  // slots
const INT32 kImageNameSize = 256;       // bytes per slot, NUL included

struct ImageList {
  char names[kImageListCapacity][kImageNameSize];  // bare file names, no folder
  INT32 count;                                     // slots in use
  char startDirectory[kImageNameSize];             // current directory at the start of the run
};

extern ImageList g_imageList;

// The folder the pictures come from: PASS, or startDirectory when PASS is empty.
const char *PictureFolder();

// Fills the list for the F-MODE of the settings: all four types in turn for 0, else that one type.
void BuildImageList();

// Appends the names that the search for one file type finds, from slot start on;
// returns the new number of names.
INT32 AppendImageFiles(INT32 type, INT32 start);

// Copies one found name into a slot; a name that does not fit in a slot is skipped (FALSE).
BOOL StoreImageName(INT32 slot, const char *name, size_t nameBufferSize);
