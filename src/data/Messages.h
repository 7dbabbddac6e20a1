#pragma once

// The texts the data layer shows to the user, kept in one place.

namespace qly::msg {

inline constexpr const char* kExtraEnv = "Removing extra TXBaseEnv component";
inline constexpr const char* kEmptyDataSet = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kClosedDataSet = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kOpenDataSet = "Cannot perform this operation on an open dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kInvalidFieldType = "Invalid Field Type ";
inline constexpr const char* kTotalRecords = " Total Records: ";

}  // namespace qly::msg
