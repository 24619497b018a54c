#include "markers/base_data.h"

Base_record Base_data{};
Base_record Base_snapshot{};
std::mutex Markers_lock;
