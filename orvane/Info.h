// The record table: rows of FParameters 32-bit values, one row per stream.
#pragma once

#include <cstdint>

#include "MemoryStreams.h"

class TInfo {
 public:
  explicit TInfo(int32_t AParameters);

  // Appends a row of zeros.
  void Add();
  // Sets a value of the last row.
  void Insert(int32_t Parameter, uint32_t Value);
  // Rows outside the table read as zeros.
  uint32_t Get(int32_t Index, int32_t Parameter) const;
  void Update(int32_t Index, int32_t Parameter, uint32_t Value);
  // Drops the last row.
  void Remove();
  // Drops row Index; the rows after it move down by one.
  void Remove(int32_t Index);
  // Drops every row whose Parameter equals Value in one pass, keeping the order
  // of the others: the same table as removing them one by one from the last row
  // to the first, without moving the tail once per row.
  void RemoveWhere(int32_t Parameter, uint32_t Value);
  // Empties the table and keeps its memory for the next block or group.
  void Reset();

  int32_t Count() const { return FCount; }
  int32_t Parameters() const { return FParameters; }

 private:
  uint32_t* Row(int32_t Index) const;
  void CheckCell(int32_t Index, int32_t Parameter) const;

  TMemoryStream FInfo;
  int32_t FParameters;
  int32_t FCount = 0;
};
