# Run by CPack on the staged files. The install makes its directories with
# mkdir, which leaves the builder's umask in their modes: under 077 the
# package would carry 0700 for /usr/share/doc/pwdraw and the rest.
file(CHMOD_RECURSE ${CPACK_TEMPORARY_DIRECTORY} DIRECTORY_PERMISSIONS
     OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
