// Windows places an image at a random address only if it carries a base
// relocation table. Code for x64 reaches everything relative to the
// instruction pointer and needs no relocation of its own, so the linker
// would write no table and the image would always load at its preferred
// base. This one pointer to itself gives the table its entry.
extern "C" const void* const relocationAnchor;
extern "C" const void* const relocationAnchor = &relocationAnchor;
