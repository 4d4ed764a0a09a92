# Read by CPack as it makes a package: the archives' times are the commit's,
# which the configuration found, unless SOURCE_DATE_EPOCH is set already.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "" AND NOT CPACK_QUILLMAR_EPOCH STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_QUILLMAR_EPOCH})
endif()
