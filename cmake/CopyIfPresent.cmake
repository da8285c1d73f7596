# cmake -DFROM=FILE -DTO=FILE -P CopyIfPresent.cmake: copies FROM to TO when
# FROM exists and differs; otherwise does nothing.
if(EXISTS "${FROM}")
    file(COPY_FILE "${FROM}" "${TO}" ONLY_IF_DIFFERENT)
endif()
