// The working data set: base.dat and d1.dat to d4.dat, the byte images of
// Base_data and of the four grid tables, little-endian, without header.
//
// Owns: the file names and the order they are written in.
// Called by: the map pictures after every capture (into the program folder),
// and by the save command (into the chosen data folder).
#pragma once
#include <string>

inline constexpr const char* Base_file = "base.dat";
inline constexpr const char* Queue0_file = "d1.dat";
inline constexpr const char* Queue1_file = "d2.dat";
inline constexpr const char* Kind_file = "d3.dat";
inline constexpr const char* Cells_file = "d4.dat";

// Sets Road_rec_total to Rec_count and writes the five files into the folder,
// each replacing its earlier version whole. The tables are as long as the
// current Grid_w x Grid_h says, so before any grid exists d1.dat to d4.dat are
// empty. Returns "" when every file was written, otherwise the names of the
// files that could not be written, in order and separated by blanks; the
// other files are written all the same.
std::string Data_save_to(const std::string& folder);
