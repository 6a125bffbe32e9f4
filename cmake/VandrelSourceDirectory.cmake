# ZEL_SOURCE_DIRECTORY: in the files of a target linked to zel::core, a source location whose
# path lies below the target's ZEL_SOURCE_DIRECTORY is shown from that directory on
# ("/src/main.cpp"), and any other path whole. The property is inherited: a target without it
# takes its directory's, and a directory its parent's. The directory including this file (the
# one calling find_package(vandrel)) takes its project's top directory, unless it or a parent
# has one already.
define_property(TARGET PROPERTY ZEL_SOURCE_DIRECTORY INHERITED)
define_property(DIRECTORY PROPERTY ZEL_SOURCE_DIRECTORY INHERITED)
get_property(vandrel_source_directory DIRECTORY PROPERTY ZEL_SOURCE_DIRECTORY)
if(NOT vandrel_source_directory)
  set_property(DIRECTORY PROPERTY ZEL_SOURCE_DIRECTORY "${PROJECT_SOURCE_DIR}")
endif()
unset(vandrel_source_directory)
