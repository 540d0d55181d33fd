// The set, text and conversion natives: union, intersect, unique, difference, exclude,
// dehex, enhex, uppercase, lowercase, extend, to-local-file, as and transcode. Each
// dispatches to the routine of the datatype module that owns the work.
#pragma once

namespace vyr::natives {

void init_text();  // installs the entries at their fixed indexes (after natives::init)
// enbase, debase, checksum and complement? (natives_codecs.cpp); called by init_text.
void install_codecs();
// compress and decompress (natives_compress.cpp); called by init_text.
void install_compress();

}  // namespace vyr::natives
