#include "wavefile/RiffFile.h"

CRiffFile::~CRiffFile() { Close(); }
int CRiffFile::Close() { return 0; }
