// Every refusal the dialogue and the operations can print, in one place.
#pragma once

namespace trelvo {

/// A token that is not a number of the kind asked for; the read starts again.
inline constexpr char kInvalidValue[] = "\n\nValore non valido, riprovare.\n   --> ";

/// Dimensions of the working matrix below 1.
inline constexpr char kDimensionsBelowOne[] =
    "\n\nLe dimensioni devono essere numeri interi maggiori di 0.";

/// Storage for a matrix that cannot be had, or an element count beyond the
/// signed 32-bit range: the request is refused and nothing held is lost.
inline constexpr char kNoStorage[] = "\n\nMemoria insufficiente: la matrice e' troppo grande.";

/// A random fill with a maximum of 0.
inline constexpr char kMaximumZero[] = "\n\nIl valore massimo non puo' essere 0.";

/// A product whose second matrix has fewer than one column.
inline constexpr char kNoColumns[] = "\n\nLa 2a matrice deve avere almeno una colonna.";

/// A product whose first matrix's columns differ from the second's rows.
inline constexpr char kNotMultipliable[] =
    "\n\nLe due matrici non sono moltiplicabili perche' le colonne della 1a sono diverse dalle "
    "righe della 2a.";

/// A sum of matrices of different dimensions.
inline constexpr char kNotSummable[] =
    "\n\nLe due matrici non si possono sommare perche' le loro dimensioni sono diverse.";

/// A determinant of a matrix that is not square.
inline constexpr char kNotSquareForDeterminant[] =
    "\n\nLa matrice non e' quadrata. Non e' possibile calcolare il determinante";

/// An inverse of a matrix that is not square.
inline constexpr char kNotSquareForInverse[] =
    "\n\nLa matrice non e' quadrata. NON ESISTE la MATRICE INVERSA.";

/// An inverse of a matrix whose determinant is zero.
inline constexpr char kNotInvertible[] = "\n\nLa matrice NON E' INVERTIBILE.";

}  // namespace trelvo
