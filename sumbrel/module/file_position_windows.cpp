#include "module/file_position.h"

int64_t SeekToEnd(FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return _ftelli64(file);
}
