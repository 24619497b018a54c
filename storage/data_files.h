// The working data set: base.dat and d1.dat to d4.dat, the byte images of
// Base_data and of the four grid tables, little-endian, with the pictures
// tst.bmp and tst1.bmp beside them; written as one set (storage/folder_writer.h).
//
// Owns: the file names and what goes into base.dat's tail on a write.
// Called by: the map pictures after every capture (into the working folder),
// the save command (into the chosen data folder) and tovi-cli.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "map/map_pictures.h"  // Work_pictures

inline constexpr const char* Base_file = "base.dat";
inline constexpr const char* Queue0_file = "d1.dat";
inline constexpr const char* Queue1_file = "d2.dat";
inline constexpr const char* Kind_file = "d3.dat";
inline constexpr const char* Cells_file = "d4.dat";


// Sets Road_rec_total to Rec_count and writes base.dat, d1.dat to d4.dat and
// the pictures into the folder as one set, base.dat's tail carrying the
// checksums of the others and the marker sets the route was built for. The
// tables are whole once the grid exists (Grid_ready), so before any grid
// exists d1.dat to d4.dat are empty. Returns "" when the new set is in place;
// otherwise what failed, as "file (step: the system's reason)" (the folder's
// path instead of a file when the folder itself failed), and the folder holds
// what it held before.
std::string Data_save_to(const std::string& folder, const Work_pictures& pictures);
// The same with the pictures of the work in memory (Map_image, Photo_image).
std::string Data_save_to(const std::string& folder);

// Checksums of tst.bmp as last written or loaded for the map shown, and as
// last written into the program folder; 0 for none. The loader sets the
// first after a load (and the second when it loaded the program folder).
extern std::atomic<uint64_t> Shown_map_sum;
extern std::atomic<uint64_t> Working_map_sum;
