# Writes the user's part of README.md (up to its end marker) to OUT:
# cmake -DIN=README.md -DOUT=README -P UserReadme.cmake
file(READ ${IN} readme_text)
string(FIND "${readme_text}" "<!-- The user's part ends here" readme_user_end)
if(readme_user_end LESS 0)
  message(FATAL_ERROR "${IN} has no end marker of the user's part")
endif()
string(SUBSTRING "${readme_text}" 0 ${readme_user_end} readme_user)
file(WRITE ${OUT} "${readme_user}")
