# Makes the tarball or the ZIP from the install tree that CPack staged, so
# that the same source gives the same bytes on any machine: members in the
# order of their names, the top folder first, owned by root, with modes 755
# and 644 and the time of the commit (SOURCE_DATE_EPOCH; 0 where it is not
# set). CPack's own archives follow the order of the folder on disk and
# record the builder as the owner.
get_filename_component(stage ${CPACK_TEMPORARY_DIRECTORY} DIRECTORY)
get_filename_component(top ${CPACK_TEMPORARY_DIRECTORY} NAME)
set(epoch $ENV{SOURCE_DATE_EPOCH})
if(NOT epoch)
  set(epoch 0)
endif()

file(GLOB_RECURSE members LIST_DIRECTORIES true RELATIVE ${stage} ${stage}/${top}/*)
list(APPEND members ${top})
list(SORT members)
execute_process(COMMAND chmod -R u=rwX,go=rX ${top}
                COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${stage})
execute_process(COMMAND touch -h -d @${epoch} ${members}
                COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${stage})

set(archive ${stage}/${top}.${CPACK_QUILLMAR_ARCHIVE})
file(REMOVE ${archive})
if(CPACK_QUILLMAR_ARCHIVE STREQUAL "zip")
  # A ZIP keeps local times and, unless told not to (-X), the owner.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -X -9 -q ${archive} ${members}
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${stage})
else()
  execute_process(COMMAND tar --format=gnu --no-recursion --owner=0 --group=0 --numeric-owner
                          --mtime=@${epoch} -cf - ${members}
                  COMMAND gzip -n -9 OUTPUT_FILE ${archive}
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${stage})
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${archive})
