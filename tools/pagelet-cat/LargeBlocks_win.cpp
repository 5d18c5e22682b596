// On Windows pagelet-cat uses the runtime's own allocator; the huge-page
// mappings of the Linux build have no counterpart that needs no privilege.
