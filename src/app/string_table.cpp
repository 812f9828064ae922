// The program's one table of user-visible texts, keyed by numeric id.
// Message n is text 5000 + n. Menu texts, operation names and labels join
// this table under their own ids; keep the array sorted by id.
#include "app/string_table.h"

#include <algorithm>
#include <iterator>

namespace qv {
namespace {

struct StringEntry {
  int id;
  std::string_view text;
};

constexpr StringEntry kStrings[] = {
    // Numbered messages (88, 89 and 92 to 95 are not used).
    {5000, "Not enough memory to render."},
    {5001, "Not enough real memory for film."},
    {5002, "Not enough real memory for film record."},
    {5003, "Not enough real memory for film insertion."},
    {5004, "Not enough memory for new film."},
    {5005, "Large Film window height is not recommended."},
    {5006, "Could not open the image file."},
    {5007, "Not enough memory for new image."},
    {5008, "Could not write the file header."},
    {5009, "Could not write the palette."},
    {5010, "Could not write the first frame."},
    {5011, "No images loaded."},
    {5012, "No source image specified."},
    {5013, "Cannot find settings file."},
    {5014, "File is empty."},
    {5015, "File not found."},
    {5016, "Not enough memory for new curve."},
    {5017, "Incorrect file type."},
    {5018, "Image file type is not recognized."},
    {5019, "No Film strip loaded or created."},
    {5020, "Both source and action images have to be specified."},
    {5021, "Setting for this operation specifies no change."},
    {5022, "Not enough memory for operation."},
    {5023, "Problem opening the window."},
    {5024, "Could not get the file header."},
    {5025, "File is truncated."},
    {5026, "Problem writing file."},
    {5027, "Not enough real memory for image."},
    {5028, "Redo cannot be used until an area selection is made."},
    {5029, "No image has been loaded to show information for."},
    {5030, "The current frame is larger than the total number."},
    {5031, "There is no zoomed view to dezoom."},
    {5032, "Number of frames must be more than one."},
    {5033, "Could not open new project file."},
    {5034, "File is not a Q/v Project File."},
    {5035, "No result frame has been generated yet."},
    {5036, "File is not a TIFF image."},
    {5037, "Could not create the new image file."},
    {5038, "Not enough memory for the undo required for this operation."},
    {5039, "Not enough memory to get an undo."},
    {5040, "The view selected to dezoom is not zoomed."},
    {5041, "There are no images loaded to undo."},
    {5042, "File does not match the type requested."},
    {5043, "Not enough memory for I/O buffer."},
    {5044, "Not enough memory for decompression buffer."},
    {5045, "Decompression over-run in file."},
    {5046, "Current frame number is before start."},
    {5047, "Source image not specified for this frame."},
    {5048, "Action image not specified for this frame."},
    {5049, "There is no (more) undo history to restore."},
    {5050, "Not enough memory for new film frame."},
    {5051, "Cannot add a different sized image to an animation file."},
    {5052, "Not enough real memory to undo."},
    {5053, "Unable to create FLC/FLI file."},
    {5054, "Not enough memory to open program interface."},
    {5055, "Settings file not found."},
    {5056, "Film strip is already ejected and empty."},
    {5057, "AVI files must be saved as a sequence."},
    {5058, "Zoom or De-Zoom was requested with no images loaded."},
    {5059, "Not enough virtual memory for operation."},
    {5060, "Not enough real memory for operation."},
    {5061, "Not enough virtual memory for mask."},
    {5062, "Not enough real memory for mask."},
    {5063, "I-Shape file was not found."},
    {5064, "There are no UNDO levels that have been undone."},
    {5065, "The settings for this operation will produce no change."},
    {5066, "Not enough memory for TREND curve."},
    {5067, "The paste buffer is empty."},
    {5068, "Not enough memory to make sequence list."},
    {5069, "Out of memory during trend rescaling."},
    {5070, "Not enough memory for resulting image."},
    {5071, "Could not open the requested file."},
    {5072, "Area Edit found no existing Area Selection."},
    {5073, "Could not write to the AVI file."},
    {5074, "Animation file is being saved with incomplete frames."},
    {5075, "The loader for this file type was not found."},
    {5076, "The loader for this file type was corrupted."},
    {5077, "System was unable to provide Timer."},
    {5078, "This operation cannot be done while Q/v is Running or Paused."},
    {5079, "The image file was too small to ID."},
    {5080, "Could not find the image size from the file."},
    {5081, "The area selection could not be placed in the Time Line,\nbecause the Time Line position has been lost."},
    {5082, "There are no operations in the Time Line."},
    {5083, "Two load operations have been requested simultaneously."},
    {5084, "Could not create the requested file."},
    {5085, "Time Line has changed."},
    {5086, "This cannot be done while an operation is in progress."},
    {5087, "There is no image loaded or specified in the Time Line."},
    {5090, "Could not find the routine in the DLL."},
    {5091, "The sequence output file already exists."},
    {5096, "The paste buffer is empty."},
    {5097, "Cannot talk to Zelvane."},
    {5098, "The AVI file contains no video stream."},
    {5099, "The handler (CODEC) for this AVI was not found."},
    {5100, "The filmstrip is currently being rendered."},
    {5101, "LZW compressed TIFF (or GIF) files use techniques patented by UniSys and IBM.\nClear legal title to the use of LZW is not possible to obtain at this time."},
    {5102, "Image file contains no palette."},
    {5103, "Cannot save in this file type."},
    {5104, "This operation can only be applied from the TimeLine."},
    {5105, "This TimeLine has been improperly constructed.  It lacks:"},
    {5106, "This Undo Layer belongs to an image which has been closed."},
};

constexpr bool SortedById() {
  for (std::size_t i = 1; i < std::size(kStrings); ++i)
    if (kStrings[i - 1].id >= kStrings[i].id) return false;
  return true;
}
static_assert(SortedById(), "the string table must stay sorted by id");

const StringEntry* Find(int id) {
  auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                             [](const StringEntry& e, int key) { return e.id < key; });
  return (it == std::end(kStrings) || it->id != id) ? nullptr : it;
}

}  // namespace

std::string_view LoadString(int id) {
  const StringEntry* e = Find(id);
  return e ? e->text : std::string_view{};
}

bool HasString(int id) { return Find(id) != nullptr; }

}  // namespace qv
