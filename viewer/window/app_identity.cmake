# Writes OUTPUT, a C++ source that defines kDesktopEntryName as APP_ID and appIconPictures()
# over the bytes of the PNG files in ICONS (a list), for viewer/window/app_identity.h.
set(arrays "")
set(entries "")
set(index 0)
foreach(picture IN LISTS ICONS)
  file(READ ${picture} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(([^,]*,){16})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char kPicture${index}[] = {\n    ${bytes}\n};\n")
  string(APPEND entries "    {kPicture${index}, sizeof kPicture${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new
  "// Made by viewer/window/app_identity.cmake from the icon files; do not edit.\n"
  "#include \"viewer/window/app_identity.h\"\n\n"
  "const char* const kDesktopEntryName = \"${APP_ID}\";\n\n"
  "namespace {\n${arrays}\nconst PictureBytes kPictures[] = {\n${entries}};\n}  // namespace\n\n"
  "std::span<const PictureBytes> appIconPictures() {\n    return kPictures;\n}\n")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
