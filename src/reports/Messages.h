#pragma once

// The texts the report engine shows to the user, kept in one place.

namespace qly::reports::msg {

inline constexpr const char* kNoTable = "The report has no table to print";
// %1: pages in the report, %2: the first page asked for.
inline constexpr const char* kNoSuchPage = "The report has %1 pages: there is no page %2";
// %1: the file, %2: the cause.
inline constexpr const char* kCannotWrite = "Cannot write %1: %2";
inline constexpr const char* kIsSymlink = "it is a symbolic link";
inline constexpr const char* kPrinterFailed = "The printer %1 could not be started";
inline constexpr const char* kNoPrinter =
    "No printer is installed. Choose Set-up to pick a printer, or send the report to the "
    "screen or to a PDF file.";

// The destination prompt.
inline constexpr const char* kPromptTitle = "Report Destination";
inline constexpr const char* kNoPrinterName = "(no printer installed)";
inline constexpr const char* kPdfDialogTitle = "Save Report as PDF";
inline constexpr const char* kPdfFilter = "PDF files (*.pdf)";

// The progress window; %1 is the page number.
inline constexpr const char* kProgressPage = "Page %1";

}  // namespace qly::reports::msg
