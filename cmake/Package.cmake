# The Debian package (scripts/package): cmake --install and cpack -G DEB.
#
#   /usr/bin/erp-host                 -> ../lib/erp-host/erp-host
#   /usr/lib/erp-host/                the host, libbarmanubill.so, erpcode.so, and
#                                     links to what the module reads from its own
#                                     folder: schema, report, help, Picture, model
#   /usr/share/erp-host/              schema (tables, demo data, default settings),
#                                     report layouts, help pages, button pictures
#   /var/lib/erp-host/model/          the Excel templates users design (made
#                                     writable by postinst, removed on purge)
#   desktop entry, icon, man page, copyright, changelog
#
# The version is the project's (project() in CMakeLists.txt).
include_guard(GLOBAL)

set(ERP_PACKAGE_NAME erp-host)
set(ERP_LIBDIR lib/${ERP_PACKAGE_NAME})
set(ERP_DATADIR share/${ERP_PACKAGE_NAME})
set(ERP_DOCDIR share/doc/${ERP_PACKAGE_NAME})
set(pkg ${CMAKE_SOURCE_DIR}/packaging)
set(res ${CMAKE_SOURCE_DIR}/schema)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(shared_library OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

install(TARGETS erp-host RUNTIME DESTINATION ${ERP_LIBDIR})
install(TARGETS barmanubill LIBRARY DESTINATION ${ERP_LIBDIR} PERMISSIONS ${shared_library})
install(TARGETS erpcode LIBRARY DESTINATION ${ERP_LIBDIR} PERMISSIONS ${shared_library})

install(FILES ${res}/erp.schema DESTINATION ${ERP_DATADIR}/schema)
install(DIRECTORY ${res}/seed ${res}/settings DESTINATION ${ERP_DATADIR}/schema)
install(DIRECTORY ${res}/report ${res}/help DESTINATION ${ERP_DATADIR})
install(DIRECTORY ${res}/pictures/Button_Pic DESTINATION ${ERP_DATADIR}/Picture FILES_MATCHING PATTERN "*.bmp")

# The module finds everything under its own folder (App_Path); the links keep
# the data where Debian wants it (relative within /usr). Users design export
# templates into the module's folder: model leads to /var/lib, which the
# package's postinst makes writable for all.
set(links ${CMAKE_BINARY_DIR}/package-links)
file(MAKE_DIRECTORY ${links})
foreach(dir schema report help Picture)
  file(CREATE_LINK ../../${ERP_DATADIR}/${dir} ${links}/${dir} SYMBOLIC)
  install(FILES ${links}/${dir} DESTINATION ${ERP_LIBDIR})
endforeach()
file(CREATE_LINK /var/lib/${ERP_PACKAGE_NAME}/model ${links}/model SYMBOLIC)
install(FILES ${links}/model DESTINATION ${ERP_LIBDIR})
file(CREATE_LINK ../${ERP_LIBDIR}/erp-host ${links}/erp-host SYMBOLIC)
install(FILES ${links}/erp-host DESTINATION bin)

install(FILES ${pkg}/erp-host.desktop DESTINATION share/applications)
install(FILES ${pkg}/erp-host.svg DESTINATION share/icons/hicolor/scalable/apps)

# The man page lists what "erp-host --help" lists.
set(man ${CMAKE_BINARY_DIR}/erp-host.1.gz)
add_custom_command(OUTPUT ${man}
  COMMAND ${pkg}/make-manpage $<TARGET_FILE:erp-host> ${pkg}/erp-host.1.in ${PROJECT_VERSION}
          /usr/${ERP_LIBDIR} /usr/${ERP_DATADIR} ${man}
  DEPENDS erp-host ${pkg}/erp-host.1.in ${pkg}/make-manpage
  COMMENT "Writing the man page of erp-host"
  VERBATIM)
add_custom_target(erp_man_page ALL DEPENDS ${man})
install(FILES ${man} DESTINATION share/man/man1)

# A native package's changelog, and the copyright file.
string(TIMESTAMP ERP_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ERP_PACKAGE_MAINTAINER "ERP module developers <erp-dev@bag-factory.example>")
file(WRITE ${CMAKE_BINARY_DIR}/changelog
     "${ERP_PACKAGE_NAME} (${PROJECT_VERSION}) stable; urgency=medium\n\n"
     "  * The host, the production material module and its resources.\n\n"
     " -- ${ERP_PACKAGE_MAINTAINER}  ${ERP_PACKAGE_DATE}\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/changelog VERBATIM)
add_custom_target(erp_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${pkg}/copyright DESTINATION ${ERP_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ERP_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ERP host for the production material module")
set(CPACK_PACKAGE_DESCRIPTION
    "The production material module of a bag factory's ERP: material issue,\n"
    "return and supplementary issue documents, the stock ledger they post to,\n"
    "grids with per-user layouts and Excel export, and reports printed from\n"
    "scripts stored in the database. erp-host opens a database (SQLite,\n"
    "PostgreSQL, or SQL Server through ODBC), lets a user sign in and opens\n"
    "the module's windows; it also creates and upgrades databases and prints\n"
    "documents to PDF without a screen.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ERP_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://bag-factory.example/erp")
# The libraries the programs link (Qt, libzip, SQLite) as dpkg-shlibdeps
# finds them, and what they load at run time: Qt's SQL drivers, the fonts the
# reports embed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6sql6-psql, libqt6sql6-odbc, fonts-wqy-microhei")
# Qt's own buttons and dialogs in the workstation's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sqlite3, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, tdsodbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/postinst ${pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
