# The files people download, made from the program at every build so that the tests install
# exactly what ./release ships: tools/package-windows.sh strips the program (its debug
# information goes to a file of its own), writes the text for Windows users and runs makensis,
# then tools/package-msi.sh makes the MSI from the same program and text. Given a key in the
# environment (tools/sign-windows.sh), each file is signed as it is made.
find_program(QELVARO_MAKENSIS makensis REQUIRED)
find_program(QELVARO_WIXL wixl REQUIRED)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QELVARO_PACKAGE_ARCH win64)
else()
  set(QELVARO_PACKAGE_ARCH win32)
endif()
set(QELVARO_PACKAGE_NAME qelvaro-${PROJECT_VERSION}-${QELVARO_PACKAGE_ARCH})
set(QELVARO_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(QELVARO_INSTALLER ${QELVARO_PACKAGE_DIR}/${QELVARO_PACKAGE_NAME}-setup.exe)
set(QELVARO_MSI ${QELVARO_PACKAGE_DIR}/${QELVARO_PACKAGE_NAME}.msi)

add_custom_command(
  OUTPUT ${QELVARO_PACKAGE_DIR}/qelvaro.exe
         ${QELVARO_PACKAGE_DIR}/${QELVARO_PACKAGE_NAME}.debug
         ${QELVARO_PACKAGE_DIR}/README.txt
         ${QELVARO_INSTALLER}
         ${QELVARO_MSI}
  COMMAND bash ${CMAKE_SOURCE_DIR}/tools/package-windows.sh ${CMAKE_OBJCOPY} $<TARGET_FILE:qelvaro>
          ${PROJECT_VERSION} ${QELVARO_PACKAGE_ARCH} ${CMAKE_SOURCE_DIR} ${QELVARO_PACKAGE_DIR}
  DEPENDS qelvaro
          ${CMAKE_SOURCE_DIR}/tools/package-windows.sh
          ${CMAKE_SOURCE_DIR}/tools/sign-windows.sh
          ${CMAKE_SOURCE_DIR}/tools/package-msi.sh
          ${CMAKE_SOURCE_DIR}/packaging/qelvaro.nsi
          ${CMAKE_SOURCE_DIR}/packaging/qelvaro.wxs
          ${CMAKE_SOURCE_DIR}/packaging/README.txt
          ${CMAKE_SOURCE_DIR}/resources/icon_on.ico
  COMMENT "Packaging ${QELVARO_PACKAGE_NAME}"
  VERBATIM)
add_custom_target(qelvaro_package ALL DEPENDS ${QELVARO_INSTALLER} ${QELVARO_MSI})
